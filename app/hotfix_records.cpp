#include "app/hotfix_records.h"

#include "app/run_options.h"
#include "process/file_name_compare.h"

namespace hotfix {

namespace {

const char kBaseLabelValue[] = "BaseLabel";
const char kExecutablePathValue[] = "ExecutablePath";
const char kDateValue[] = "Date";

// "2026-12-09" -> "20261209", the form of an entry's InstallDate.
std::string CompactDate(const std::string& date) {
    std::string digits;
    for (char c : date)
        if (c >= '0' && c <= '9') digits += c;
    return digits;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

} // namespace

std::string ReceiptKey(const HotfixIdentity& hotfix) {
    const std::string root = hotfix.publisher.empty() ? "SOFTWARE" : "SOFTWARE\\" + hotfix.publisher;
    return root + "\\Hotfixes\\" + hotfix.name;
}

std::string UninstallKey(const HotfixIdentity& hotfix) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + hotfix.name;
}

RemovalTarget ChooseRemovalTarget(const ProductEntry& product, const std::string& executablePath,
                                  const MachineKeyRead& receiptKey, const CodePage& codePage) {
    RemovalTarget target;
    target.label = product.BaseLabels.back();
    if (receiptKey.state == MachineKeyRead::State::Missing) return target;

    const auto value = [&](const char* name) -> const std::string* {
        const auto found = receiptKey.strings.find(name);
        return found == receiptKey.strings.end() ? nullptr : &found->second;
    };
    const std::string* label = value(kBaseLabelValue);
    const std::string* path = value(kExecutablePathValue);
    if (receiptKey.state != MachineKeyRead::State::Read || !label || !path) {
        target.verdict = ReceiptVerdict::Unreadable;
        return target;
    }
    const std::string* date = value(kDateValue);
    target.receipt = Receipt{*label, *path, date ? *date : std::string()};
    if (!SameFileName(*path, executablePath, codePage)) target.verdict = ReceiptVerdict::OtherPath;
    else if (!IsBaseLabel(product, *label)) target.verdict = ReceiptVerdict::UnknownLabel;
    else {
        target.verdict = ReceiptVerdict::Believed;
        target.label = *label;
    }
    return target;
}

std::vector<RegistryValue> UninstallEntryValues(const HotfixIdentity& hotfix, const ProductEntry& product,
                                                const std::string& keptPath, const std::string& date) {
    std::vector<RegistryValue> values = {
        {"DisplayName", hotfix.displayName, std::nullopt},
        {"DisplayVersion", hotfix.displayVersion, std::nullopt},
        {"Publisher", hotfix.publisher, std::nullopt},
        {"DisplayIcon", keptPath, std::nullopt},
        {"InstallDate", CompactDate(date), std::nullopt},
        {"UninstallString", Quoted(keptPath) + " " + kUninstallSwitch, std::nullopt},
        {"QuietUninstallString", Quoted(keptPath) + " " + kUninstallSwitch + " /quiet", std::nullopt},
        {"NoModify", std::string(), 1u},
        {"NoRepair", std::string(), 1u},
    };
    if (!product.ParentKeyName.empty()) {
        values.push_back({"ParentKeyName", product.ParentKeyName, std::nullopt});
        values.push_back({"ParentDisplayName", product.DisplayName, std::nullopt});
    }
    return values;
}

RecordResult RecordPatch(MachineRecords& records, const ProductEntry& product, const std::string& baseLabel,
                         const std::string& executablePath) {
    const HotfixIdentity& hotfix = ThisHotfix();
    const std::string date = records.Today();
    RecordResult result;
    result.receiptCode = records.WriteKey(ReceiptKey(hotfix), {{kBaseLabelValue, baseLabel, std::nullopt},
                                                               {kExecutablePathValue, executablePath, std::nullopt},
                                                               {kDateValue, date, std::nullopt}});
    result.copy = records.KeepInstaller(hotfix.name, hotfix.installerFileName);
    if (!result.copy.path.empty())
        result.entryCode =
            records.WriteKey(UninstallKey(hotfix), UninstallEntryValues(hotfix, product, result.copy.path, date));
    return result;
}

ForgetResult ForgetPatch(MachineRecords& records) {
    const HotfixIdentity& hotfix = ThisHotfix();
    ForgetResult result;
    result.entryCode = records.DeleteKey(UninstallKey(hotfix));
    result.receiptCode = records.DeleteKey(ReceiptKey(hotfix));
    result.copy = records.DropInstaller(hotfix.name, hotfix.installerFileName, result.copyCode);
    return result;
}

} // namespace hotfix
