// The launcher's command-line splitter, natively with an ordinary heap: the
// quote rules, blanks, the unclosed quoted program name and growth.

#include "launcher/SplitCommandLine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A heap that counts growths, can be made to refuse them, and keeps what it
// handed out (the splitter never frees) so that the test can give it back.
int reallocations = 0;
bool refuseGrowth = false;
bool refuseAll = false;
std::vector<void*> blocks;

void* allocate(std::size_t bytes) {
    if (refuseAll) return nullptr;
    blocks.push_back(std::malloc(bytes));
    return blocks.back();
}
void* reallocate(void* block, std::size_t bytes) {
    if (refuseGrowth) return nullptr;
    ++reallocations;
    void* grown = std::realloc(block, bytes);
    for (void*& b : blocks)
        if (b == block) b = grown;
    return grown;
}
const SplitterHeap kHeap{allocate, reallocate};

// Q stands for the double quote, as in the examples of the rules.
std::u16string text(const std::string& s) {
    std::u16string out;
    for (char c : s) out += c == 'Q' ? u'"' : static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

struct Split {
    int count = 0;
    std::vector<std::string> args;
    bool nullArray = true;
    bool nullTerminated = false;
};

Split split(const std::string& line) {
    const std::u16string input = text(line);
    char16_t** array = nullptr;
    Split s;
    s.count = SplitCommandLine(input.c_str(), &array, kHeap);
    s.nullArray = array == nullptr;
    struct GiveBack {
        ~GiveBack() {
            for (void* b : blocks) std::free(b);
            blocks.clear();
        }
    } giveBack;
    if (array == nullptr) return s;
    for (int i = 0; i < s.count; ++i) {
        std::string a;
        for (const char16_t* p = array[i]; *p != 0; ++p) a += *p == u'"' ? 'Q' : static_cast<char>(*p);
        s.args.push_back(a);
    }
    s.nullTerminated = s.count < 2 || array[s.count] == nullptr;
    return s;
}

using Args = std::vector<std::string>;

TEST(SplitCommandLine, QuotesOnlyOpenAnArgumentAtItsStart) {
    EXPECT_EQ(split("prog a b").args, (Args{"prog", "a", "b"}));
    EXPECT_EQ(split("Qmy progQ x").args, (Args{"my prog", "x"}));
    EXPECT_EQ(split("prog Qtwo wordsQ z").args, (Args{"prog", "two words", "z"}));
    EXPECT_EQ(split("prog QabQcd").args, (Args{"prog", "ab", "cd"}));
    EXPECT_EQ(split("prog abQcd").args, (Args{"prog", "abQcd"}));
    EXPECT_EQ(split("prog Qopen ended").args, (Args{"prog", "open ended"}));
    EXPECT_EQ(split("QprogQx y").args, (Args{"prog", "x", "y"}));
    EXPECT_EQ(split("prog QQ").args, (Args{"prog", ""}));  // an empty quoted argument counts
    EXPECT_EQ(split("prog a\\Q b\\").args, (Args{"prog", "a\\Q", "b\\"}));  // no escapes
    EXPECT_TRUE(split("prog a b").nullTerminated);
}

TEST(SplitCommandLine, BlanksMakeNoEmptyArguments) {
    const Split s = split("prog \t  a\t\tb   ");
    EXPECT_EQ(s.count, 3);
    EXPECT_EQ(s.args, (Args{"prog", "a", "b"}));
    EXPECT_EQ(split("prog").args, (Args{"prog"}));
    EXPECT_EQ(split("prog   ").args, (Args{"prog"}));
    const Split empty = split("");
    EXPECT_EQ(empty.count, 1);
    EXPECT_EQ(empty.args, (Args{""}));
}

TEST(SplitCommandLine, UnclosedQuotedProgramNameGivesNothing) {
    const Split s = split("Qprog a b");
    EXPECT_EQ(s.count, 0);
    EXPECT_TRUE(s.nullArray);
}

TEST(SplitCommandLine, ManyArgumentsGrowTheArrayAndStayIntact) {
    std::string line = "prog";
    Args expected{"prog"};
    for (int i = 0; i < 100; ++i) {
        line += (i % 3 == 0 ? " Qx " : " y") + std::to_string(i) + (i % 3 == 0 ? "Q" : "");
        expected.push_back((i % 3 == 0 ? "x " : "y") + std::to_string(i));
    }
    reallocations = 0;
    const Split s = split(line);
    EXPECT_EQ(s.args, expected);
    EXPECT_TRUE(s.nullTerminated);
    EXPECT_EQ(reallocations, 6);  // 3 -> 6 -> 12 -> 24 -> 48 -> 96 -> 192
}

TEST(SplitCommandLine, FailuresGiveZeroOrWhatWasGathered) {
    refuseAll = true;
    EXPECT_EQ(split("prog a").count, 0);
    EXPECT_TRUE(split("prog a").nullArray);
    refuseAll = false;
    refuseGrowth = true;
    const Split s = split("prog a b c d e");
    refuseGrowth = false;
    EXPECT_EQ(s.args, (Args{"prog", "a"}));  // growth refused after the second entry
}

}  // namespace
