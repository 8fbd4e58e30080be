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
};

// The catalogue, in the definition's row order (HotFix 2: Tarnovex, Sellidor, Tarnovex Viewer).
const std::vector<ProductEntry>& ProductCatalogue();

// The first row whose ExecutableName equals `fileName` by the file-name comparison rule, or
// nullptr. Nothing is trimmed and a text with a directory part matches no row.
// Example: FindProduct("TARNOVEX.EXE", cp)->ProductCode == 1; FindProduct("Tarnovex", cp) == nullptr.
const ProductEntry* FindProduct(const std::string& fileName, const CodePage& codePage);

// The row's patch files for `productCode`, in order; empty for a code that names no row.
std::vector<std::string> PatchFilesOf(int productCode);

// Exact, byte-for-byte label tests on a row.
bool IsBaseLabel(const ProductEntry& product, const std::string& label);
bool IsTargetLabel(const ProductEntry& product, const std::string& label);

} // namespace hotfix
