#pragma once
// The engine's contract with whoever runs it: the names of its two files, its one switch, the
// names of what a run leaves in the update directory while it works, and the exit codes of the
// front end. The installer (patch/) writes and runs the engine and looks for an interrupted
// run's traces by these names; the engine (its core, the library and the front end) uses them.
// Both compile against this one header, so a name changed here changes on both sides.
//
// Standard C++ only, and nothing that needs the C++ runtime: patch.exe, which is built without
// one (no exceptions, no RTTI, linked as C), includes it too. A leaf: it includes nothing.

namespace hotfix::engine {

// The engine's two files. The caller places both side by side in the update directory and
// starts the front end there; the front end loads the library by full path from its own
// directory. Patch paths may not name either in the root of the update directory.
inline constexpr char kFrontEndName[] = "patch.exe";   // the console front end that is started
inline constexpr char kLibraryName[] = "Patchw32.dll"; // the engine library it loads

// Given before the update directory ("patch.exe /settle . A.RTP"), the front end only settles
// what an interrupted run of that patch file left, and changes nothing else. The front end
// takes it in any letter case, and with '-' for '/'.
inline constexpr char kSettleSwitch[] = "/settle";

// What a run leaves while it works, and so what an interrupted one leaves behind: its journal
// and the journal's temporary file in the root of the update directory, and beside each file it
// changes the new file staged (NAME.hfx~new) and the old one's backup (NAME.hfx~old). Their
// letter case means nothing to the platform's file system. Patch paths may not use them.
inline constexpr char kJournalName[] = "hfx~journal";
inline constexpr char kJournalTempName[] = "hfx~journal.tmp";
inline constexpr char kStagedSuffix[] = ".hfx~new";
inline constexpr char kBackupSuffix[] = ".hfx~old";

// The exit codes of the front end. The library's exports return the same codes, all but
// kExitUsage, which is the front end's own.
enum EngineExitCode : int {
    kExitApplied = 0,             // applied; with the settle switch: no interrupted run of the patch file is left
    kExitAlreadyApplied = 1,      // every file is new already: nothing changed
    kExitNotApplicable = 2,       // a file is in no state the patch file knows: nothing changed
    kExitCorruptPatch = 3,        // the patch file is corrupt: nothing changed, or everything rolled back
    kExitIoFailureRolledBack = 4, // input/output failure or exhausted memory: nothing changed, or everything rolled back
    kExitUsage = 5,               // an argument is missing, or the library cannot be loaded or is not the engine's
    kExitNotSettled = 6,          // an interrupted run is not settled: its journal stays for the next run
};

} // namespace hotfix::engine
