#include "catalogue/product_catalogue.h"

#include <algorithm>

#include "hotfix_definition.h"
#include "process/file_name_compare.h"

namespace hotfix {

const std::vector<ProductEntry>& ProductCatalogue() {
    // The rows come from the hotfix's definition file (generated hotfix_definition.h).
    static const std::vector<ProductEntry> catalogue = {HOTFIX_CATALOGUE_ROWS};
    return catalogue;
}

const ProductEntry* FindProduct(const std::string& fileName, const CodePage& codePage) {
    for (const ProductEntry& entry : ProductCatalogue()) {
        if (SameFileName(entry.ExecutableName, fileName, codePage)) return &entry;
    }
    return nullptr;
}

std::vector<std::string> PatchFilesOf(int productCode) {
    for (const ProductEntry& entry : ProductCatalogue()) {
        if (entry.ProductCode == productCode) return entry.PatchFiles;
    }
    return {};
}

bool IsBaseLabel(const ProductEntry& product, const std::string& label) {
    return std::find(product.BaseLabels.begin(), product.BaseLabels.end(), label) !=
           product.BaseLabels.end();
}

bool IsTargetLabel(const ProductEntry& product, const std::string& label) {
    return product.TargetLabel == label;
}

} // namespace hotfix
