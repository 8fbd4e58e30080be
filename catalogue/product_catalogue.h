#pragma once
// The compiled-in table of the products this hotfix knows, and the label tests on a row. The
// rows are those of the hotfix's definition file (hotfix/hotfix2.json), compiled in.
#include <string>
#include <vector>

#include "platform/code_page.h"

namespace hotfix {

struct ProductEntry {
    std::string ExecutableName;            // file name of the main executable, e.g. "Tarnovex.exe"
    std::string DisplayName;               // put in place of "%s" in the run's messages
    int ProductCode;                       // 1 or more, selects the patch files
    std::vector<std::string> BaseLabels;   // labels the hotfix applies to, in comparison order
    std::string TargetLabel;               // the label that means the hotfix is in place
    std::vector<std::string> PatchFiles;   // payload names, in application order
    // The reverse of each patch file (its new tree back to its old one), in removal order: the
    // last patch file's reverse first.
    std::vector<std::string> RemovalFiles;
    std::string ParentKeyName;             // the product's own uninstall key; "" when not known
};

// The catalogue, in the definition's row order (HotFix 2: Tarnovex, Sellidor, Tarnovex Viewer).
const std::vector<ProductEntry>& ProductCatalogue();

// The first row whose ExecutableName equals `fileName` by the file-name comparison rule, or
// nullptr. Nothing is trimmed and a text with a directory part matches no row.
// Example: FindProduct("TARNOVEX.EXE", cp)->ProductCode == 1; FindProduct("Tarnovex", cp) == nullptr.
const ProductEntry* FindProduct(const std::string& fileName, const CodePage& codePage);

// The row's patch files for `productCode`, in order; empty for a code that names no row.
std::vector<std::string> PatchFilesOf(int productCode);

// Every patch file an engine run of the row may have been interrupted in: its patch files in
// order, then their reverse ones in removal order. Empty for a code that names no row.
std::vector<std::string> SettlingFilesOf(int productCode);

// Exact, byte-for-byte label tests on a row.
bool IsBaseLabel(const ProductEntry& product, const std::string& label);
bool IsTargetLabel(const ProductEntry& product, const std::string& label);

// The position of `label` among the row's base labels (listed oldest first), or -1.
// Example: with base labels {"7.22 (7.22.24188.12)", "7.22 (7.22.24209.13)"}, BaseLabelIndex of
// the second is 1.
int BaseLabelIndex(const ProductEntry& product, const std::string& label);

// Who this hotfix is, where it is recorded on the machine and what it is called there: from
// the hotfix's definition (the installer's name and its version block).
struct HotfixIdentity {
    std::string name;               // the installer's file name without ".exe"
    std::string installerFileName;  // the installer's file name
    std::string displayName;        // the version block's ProductName (else the name)
    std::string displayVersion;     // the version block's product version, "7.22.24245.10"
    std::string publisher;          // the version block's CompanyName
};
const HotfixIdentity& ThisHotfix();

} // namespace hotfix
