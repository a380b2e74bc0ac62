// Shared set-up for the engine tests: a scratch folder, a headless window
// recorded as the target, and a clean engine afterwards.
#pragma once

#include "engine/drive_paths.h"
#include "engine/test_state.h"
#include "res/resource.h"
#include "tests/support/headless_window.h"
#include "tests/support/portable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace sarnoval::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: the suite also runs under sanitizers on a loaded machine.
inline constexpr auto kReportWait = 60s;

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        dir_ = fs::temp_directory_path() / ("sarnoval-test-" + std::to_string(seed()));
        fs::create_directories(dir_);
        RecordTargets(&window_, &window_);
    }

    void TearDown() override {
        StopTests();
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }

    fs::path MakeFile(const std::string& name, std::size_t size, char fill = 'x') {
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        out << std::string(size, fill);
        return path;
    }

    static std::vector<std::string> Entries(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    // One table case: runs test against its own window and stops the engine,
    // so the next case starts clean. False when nothing was reported in time.
    static bool RunCase(HeadlessWindow& window, TestProc test) {
        RecordTargets(&window, &window);
        Launch(test);
        const bool reported = window.WaitForReports(1, kReportWait);
        // The counter loop shows the final count once the test is over; a
        // loaded machine may take a while to get there.
        const auto deadline = std::chrono::steady_clock::now() + kReportWait;
        while (std::chrono::steady_clock::now() < deadline &&
               (g_testRunning.load() || window.ShownValues(IDC_KB_COUNT).empty() ||
                window.ShownValues(IDC_KB_COUNT).back() != g_bytesDone.load() >> 10)) {
            std::this_thread::sleep_for(1ms);
        }
        StopTests();
        return reported;
    }

    // Runs a test on its thread and waits for its line or message.
    void RunAndWait(TestProc test, std::size_t reports = 1) {
        Launch(test);
        ASSERT_TRUE(window_.WaitForReports(reports, kReportWait));
        // The thread clears its slot just after reporting.
        const auto deadline = std::chrono::steady_clock::now() + kReportWait;
        while (g_testRunning.load() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_FALSE(g_testRunning.load());
    }

    fs::path dir_;
    HeadlessWindow window_;
};

} // namespace sarnoval::testing
