#pragma once
// The exports of Patchw32.dll, the engine library. Plain C names, __cdecl, undecorated.
//
//   int HotfixApplyPatch(updateDirectory, patchFile, callback, context)
//     Applies the patch file to the update directory as one transaction and returns the
//     outcome: 0 applied, 1 already applied, 2 not applicable to these files, 3 corrupt patch
//     file, 4 input/output failure or exhausted memory (nothing changed), 6 an interrupted run
//     could not be settled (its journal stays). A relative patchFile is taken relative to the
//     update directory. `callback` (may be null) receives every line of progress, the last one
//     being the outcome; `context` is passed back to it.
//   int HotfixSettlePatch(updateDirectory, patchFile, callback, context)
//     Only settles what an interrupted run of this patch file left, changing nothing else:
//     0 nothing is left unsettled, 3 corrupt patch file, 4 the directory, the patch file or a
//     name could not be looked at (nothing changed), 6 it could not be settled.
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
