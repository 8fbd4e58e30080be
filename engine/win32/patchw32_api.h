#pragma once
// The exports of Patchw32.dll, the engine library. Plain C names, __cdecl, undecorated.
//
//   int HotfixApplyPatch(updateDirectory, patchFile, callback, context)
//     Applies the patch file to the update directory as one transaction and returns the
//     outcome: 0 applied, 1 already applied, 2 not applicable to these files, 3 corrupt patch
//     file, 4 input/output failure (nothing changed), 6 input/output failure with an incomplete
//     roll-back (the journal stays; the next run settles it). A relative patchFile is taken
//     relative to the update directory. `callback` (may be null) receives every line of
//     progress, the last one being the outcome; `context` is passed back to it.
//   const char* HotfixOutcomeName(int outcome): a short text for an outcome code.
//
// Test switch: when the environment variable HOTFIX_ENGINE_TEST_EXIT_AFTER_SWAPS holds a
// number N > 0, the process ends at once with exit code 99 after the N-th file swap, as if it
// were killed there (used to test recovery from an interrupted run).
#ifdef __cplusplus
extern "C" {
#endif

typedef void(__cdecl* HotfixMessageCallback)(void* context, const char* line);
typedef int(__cdecl* HotfixApplyPatchFn)(const char* updateDirectory, const char* patchFile,
                                         HotfixMessageCallback callback, void* context);
typedef const char*(__cdecl* HotfixOutcomeNameFn)(int outcome);

#ifdef __cplusplus
}
#endif
