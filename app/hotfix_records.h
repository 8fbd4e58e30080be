#pragma once
// What a patch run that ended patched leaves on the machine so that the hotfix can be removed,
// and what a removal takes away again: the receipt (which base label the installation had, its
// executable's path and the date), the kept copy of the installer, and its entry among the
// installed programs, whose uninstall commands name that copy.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/product_catalogue.h"
#include "platform/code_page.h"
#include "platform/machine_records.h"

namespace hotfix {

// Under HKEY_LOCAL_MACHINE (64-bit view), keyed by the hotfix's name.
// Example: "SOFTWARE\Veltrix Software\Hotfixes\HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup".
std::string ReceiptKey(const HotfixIdentity& hotfix);
// Example: "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\HotFix_2_KTV410-KTV430-KTV520__v7_22_Setup".
std::string UninstallKey(const HotfixIdentity& hotfix);

struct Receipt {
    std::string baseLabel;        // the label the installation had before the patch run
    std::string executablePath;   // the executable that run patched
    std::string date;             // "2026-12-09"
};

// Why removal goes back to the label it goes back to.
enum class ReceiptVerdict {
    Believed,       // the receipt names this executable and one of its row's base labels
    None,           // there is no receipt
    Unreadable,     // the key could not be read, or lacks a value
    OtherPath,      // it names another executable
    UnknownLabel,   // its label is no base label of the row
};

struct RemovalTarget {
    std::string label;                     // the base label to go back to
    ReceiptVerdict verdict = ReceiptVerdict::None;
    std::optional<Receipt> receipt;        // what the receipt said, when it could be read
};

// The label a removal of `product`'s hotfix at `executablePath` goes back to: the receipt's,
// when it is believed, else the newest base label (the row's last). Paths compare as file
// names do. Example: no receipt, Tarnovex -> "7.22 (7.22.24209.13)", verdict None.
RemovalTarget ChooseRemovalTarget(const ProductEntry& product, const std::string& executablePath,
                                  const MachineKeyRead& receiptKey, const CodePage& codePage);

// What recording a patch did; each part on its own, the run's outcome depends on none.
struct RecordResult {
    std::uint32_t receiptCode = 0;          // 0: the receipt was written
    KeptCopy copy;
    std::optional<std::uint32_t> entryCode; // the entry's write; none when no copy was kept
};

// Records that `product` at `executablePath` was patched from `baseLabel`: writes the receipt,
// keeps a copy of the installer and, when it was kept, registers its entry among the installed
// programs (naming the product's own uninstall key as its parent, when the row knows it).
RecordResult RecordPatch(MachineRecords& records, const ProductEntry& product, const std::string& baseLabel,
                         const std::string& executablePath);

// The values of the entry for the kept copy at `keptPath`.
std::vector<RegistryValue> UninstallEntryValues(const HotfixIdentity& hotfix, const ProductEntry& product,
                                                const std::string& keptPath, const std::string& date);

struct ForgetResult {
    std::uint32_t entryCode = 0;
    std::uint32_t receiptCode = 0;
    CopyRemoval copy = CopyRemoval::Absent;
    std::uint32_t copyCode = 0;
};

// Takes the hotfix's records away: the entry, the receipt, then the kept copy (last: it may be
// the running program).
ForgetResult ForgetPatch(MachineRecords& records);

} // namespace hotfix
