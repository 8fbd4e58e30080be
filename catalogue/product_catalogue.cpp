#include "catalogue/product_catalogue.h"

#include <algorithm>
#include <string>

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

std::vector<std::string> SettlingFilesOf(int productCode) {
    for (const ProductEntry& entry : ProductCatalogue()) {
        if (entry.ProductCode != productCode) continue;
        std::vector<std::string> files = entry.PatchFiles;
        files.insert(files.end(), entry.RemovalFiles.begin(), entry.RemovalFiles.end());
        return files;
    }
    return {};
}

int BaseLabelIndex(const ProductEntry& product, const std::string& label) {
    const auto found = std::find(product.BaseLabels.begin(), product.BaseLabels.end(), label);
    return found == product.BaseLabels.end() ? -1 : static_cast<int>(found - product.BaseLabels.begin());
}

namespace {

std::string VersionString(const char* name) {
    for (const definition::VersionString& entry : definition::kVersionStrings)
        if (std::string(entry.name) == name) return entry.value;
    return std::string();
}

} // namespace

const HotfixIdentity& ThisHotfix() {
    static const HotfixIdentity identity = [] {
        HotfixIdentity made;
        made.name = definition::kInstallerCaption;
        made.installerFileName = definition::kInstallerFileName;
        made.displayName = VersionString("ProductName");
        if (made.displayName.empty()) made.displayName = made.name;
        const unsigned* v = definition::kProductVersion;
        made.displayVersion = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
                              std::to_string(v[3]);
        made.publisher = VersionString("CompanyName");
        return made;
    }();
    return identity;
}

bool IsBaseLabel(const ProductEntry& product, const std::string& label) {
    return std::find(product.BaseLabels.begin(), product.BaseLabels.end(), label) !=
           product.BaseLabels.end();
}

bool IsTargetLabel(const ProductEntry& product, const std::string& label) {
    return product.TargetLabel == label;
}

} // namespace hotfix
