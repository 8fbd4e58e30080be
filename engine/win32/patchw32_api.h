#pragma once
// The exports of Patchw32.dll, the engine library. Plain C names, __cdecl, undecorated.
//
// The outcomes they return are the engine's exit codes, EngineExitCode in
// engine/contract/engine_contract.h (all but kExitUsage, which is the front end's own).
//
//   int HotfixApplyPatch(updateDirectory, patchFile, callback, context)
//     Applies the patch file to the update directory as one transaction and returns the
//     outcome: applied, already applied, not applicable to these files, corrupt patch file,
//     input/output failure or exhausted memory (nothing changed), or an interrupted run that
//     could not be settled (its journal stays). A relative patchFile is taken relative to the
//     update directory. `callback` (may be null) receives every line of progress, the last one
//     being the outcome; `context` is passed back to it.
//   int HotfixSettlePatch(updateDirectory, patchFile, callback, context)
//     Only settles what an interrupted run of this patch file left, changing nothing else:
//     kExitApplied nothing is left unsettled, kExitCorruptPatch, kExitIoFailureRolledBack the
//     directory, the patch file or a name could not be looked at (nothing changed),
//     kExitNotSettled it could not be settled.
//   const char* HotfixOutcomeName(int outcome): a short text for an outcome code.
#ifdef __cplusplus
extern "C" {
#endif

typedef void(__cdecl* HotfixMessageCallback)(void* context, const char* line);
typedef int(__cdecl* HotfixApplyPatchFn)(const char* updateDirectory, const char* patchFile,
                                         HotfixMessageCallback callback, void* context);
typedef HotfixApplyPatchFn HotfixSettlePatchFn;
typedef const char*(__cdecl* HotfixOutcomeNameFn)(int outcome);

#ifdef __cplusplus
}
#endif
