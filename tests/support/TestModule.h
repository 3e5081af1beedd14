#pragma once

#include "automation/Module.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

namespace didev {

namespace detail {

inline Module*& currentTestModule()
{
    static Module* current = nullptr;
    return current;
}

} // namespace detail

// The module of the test under way, as its fixture's TestModule owns it: helpers that are not
// members of a fixture reach it here. A test without one is a mistake in the test, told at once.
inline Module& testModule()
{
    Module* current = detail::currentTestModule();
    if (!current) {
        std::fputs("testModule(): no TestModule is alive for this test\n", stderr);
        std::abort();
    }
    return *current;
}

// Owns one module and is the test's module (testModule()) while it lives. A fixture holds it
// before the windows it makes, which go first.
class TestModule {
public:
    explicit TestModule(std::optional<CaptureOptions> captureOptions = std::nullopt)
        : module_(std::move(captureOptions))
        , previous_(std::exchange(detail::currentTestModule(), &module_))
    {
    }
    ~TestModule() { detail::currentTestModule() = previous_; }
    TestModule(const TestModule&) = delete;
    TestModule& operator=(const TestModule&) = delete;

    Module& module() { return module_; }

private:
    Module module_;
    Module* previous_;
};

} // namespace didev
