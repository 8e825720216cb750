#pragma once

#include <iostream>
#include <string>

// A minimal check counter for the repair tests: each failed check is printed with its
// case name, and the program's exit status says whether any failed.
class Checks {
public:
    void expect(bool ok, const std::string& what) {
        ++count_;
        if (!ok) {
            ++failed_;
            std::cerr << "FAIL: " << what << "\n";
        }
    }
    template <typename A, typename B>
    void equal(const A& actual, const B& expected, const std::string& what) {
        const bool ok = actual == expected;
        if (!ok) {
            std::cerr << "  got " << actual << ", expected " << expected << "\n";
        }
        expect(ok, what);
    }
    int finish() const {
        std::cout << count_ - failed_ << " of " << count_ << " checks passed\n";
        return failed_ == 0 && count_ > 0 ? 0 : 1;
    }

private:
    int count_ = 0;
    int failed_ = 0;
};
