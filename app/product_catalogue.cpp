#include "app/product_catalogue.h"

#include <algorithm>

#include "process/file_name_compare.h"

namespace hotfix {

namespace {

const char kLabelFirst[] = "7.22 (7.22.24188.12)";
const char kLabelSecond[] = "7.22 (7.22.24209.13)";
const char kLabelThird[] = "7.22 (7.22.24245.10)";

} // namespace

const std::vector<ProductEntry>& ProductCatalogue() {
    static const std::vector<ProductEntry> catalogue = {
        {"Tarnovex.exe", "Tarnovex", 1, {kLabelFirst, kLabelSecond}, kLabelThird,
         {"HOTFIX_KTV410_722_HOTFIX1.RTP", "HOTFIX_KTV410_722_HOTFIX2.RTP"}},
        {"Sellidor.exe", "Sellidor", 2, {kLabelFirst, kLabelSecond}, kLabelThird,
         {"HOTFIX_KTV520_722_HOTFIX1.RTP", "HOTFIX_KTV520_722_HOTFIX2.RTP"}},
        {"TarnovexViewer.exe", "Tarnovex Viewer", 3, {kLabelFirst}, kLabelSecond,
         {"HOTFIX_KTV430_722_HOTFIX1.RTP"}},
    };
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
