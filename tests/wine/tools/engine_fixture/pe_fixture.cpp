// Two builds of one small program for the match delta's Wine test: the new build has a function
// added in the middle, so the code after it moves and its calls change their relative targets.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Describe(int value) { return "value " + std::to_string(value); }

#ifdef HOTFIX_PE_FIXTURE_NEW
int Checked(int value) {
    if (value < 0) std::abort();
    return value * 3 + 1;
}
#endif

int Sum(const std::vector<int>& values) {
    int sum = 0;
    for (int value : values) sum += value;
    return sum;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> values;
    for (int i = 1; i < argc; ++i) values.push_back(std::atoi(argv[i]));
#ifdef HOTFIX_PE_FIXTURE_NEW
    for (int& value : values) value = Checked(value);
#endif
    std::printf("%s\n", Describe(Sum(values)).c_str());
    return 0;
}
