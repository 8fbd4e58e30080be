// The product catalogue: look-up by file name, patch lists, and the label tests of each row.
#include <gtest/gtest.h>

#include "app/hotfix_run.h"
#include "catalogue/product_catalogue.h"
#include "fakes/fake_platform.h"

namespace hotfix {
namespace {

const char kFirst[] = "7.22 (7.22.24188.12)";
const char kSecond[] = "7.22 (7.22.24209.13)";
const char kThird[] = "7.22 (7.22.24245.10)";

int CodeOf(const char* name) {
    fakes::SingleByteCodePage cp;
    const ProductEntry* entry = FindProduct(name, cp);
    return entry ? entry->ProductCode : 0;
}

TEST(ProductCatalogue, FindProductByFileName) {
    struct Case {
        const char* name;
        int code;
    } cases[] = {
        {"Tarnovex.exe", 1},       {"TARNOVEX.EXE", 1},         {"tarnovex.exe", 1},
        {"Sellidor.exe", 2},       {"TarnovexViewer.exe", 3},   {"TARNOVEXVIEWER.EXE", 3},
        {"Tarnovex.exe ", 0},      {"Tarnovex", 0},             {"TARNOV~1.EXE", 0},
        {"C:\\Tarnovex.exe", 0},   {"", 0},                     {"Notepad.exe", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CodeOf(c.name), c.code) << c.name;
}

TEST(ProductCatalogue, PatchFilesInApplicationOrder) {
    EXPECT_EQ(PatchFilesOf(1), (std::vector<std::string>{"HOTFIX_KTV410_722_HOTFIX1.RTP",
                                                          "HOTFIX_KTV410_722_HOTFIX2.RTP"}));
    EXPECT_EQ(PatchFilesOf(2), (std::vector<std::string>{"HOTFIX_KTV520_722_HOTFIX1.RTP",
                                                          "HOTFIX_KTV520_722_HOTFIX2.RTP"}));
    EXPECT_EQ(PatchFilesOf(3), std::vector<std::string>{"HOTFIX_KTV430_722_HOTFIX1.RTP"});
    EXPECT_TRUE(PatchFilesOf(0).empty());
    EXPECT_TRUE(PatchFilesOf(4).empty());
}

TEST(ProductCatalogue, ClassificationBeforePatching) {
    const auto& rows = ProductCatalogue();
    struct Case {
        int row;
        std::string label;
        std::string status;
    } cases[] = {
        {0, kFirst, kFirst},           {0, kSecond, kSecond},         {0, kThird, "A JOUR"},
        {1, kFirst, kFirst},           {1, kSecond, kSecond},         {1, kThird, "A JOUR"},
        {2, kFirst, kFirst},           {2, kSecond, "A JOUR"},        {2, kThird, "ERREUR"},
        {0, "7.22 (7.22.24300.01)", "ERREUR"},   {0, "7.21 (7.21.24188.12)", "ERREUR"},
        {0, "7.22 ", "ERREUR"},        {2, "7.22 ", "ERREUR"},        {1, "", "ERREUR"},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyLabel(rows[c.row], c.label), c.status) << c.label;
}

TEST(ProductCatalogue, InvariantsHold) {
    const auto& rows = ProductCatalogue();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_FALSE(IsBaseLabel(rows[i], rows[i].TargetLabel));
        for (std::size_t j = i + 1; j < rows.size(); ++j) {
            EXPECT_NE(rows[i].ExecutableName, rows[j].ExecutableName);
            EXPECT_NE(rows[i].ProductCode, rows[j].ProductCode);
        }
    }
}

} // namespace
} // namespace hotfix
