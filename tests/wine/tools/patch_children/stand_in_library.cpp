// Any library, to be carried as the engine library's payload.
extern "C" __declspec(dllexport) int StandInLibraryVersion() { return 1; }
