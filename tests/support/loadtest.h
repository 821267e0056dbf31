#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session.h"
#include "import/load.h"
#include "tests/support/fakeui.h"

namespace wp::test {

// Designs loaded through the File menu's open commands: a session with a JX3
// driver whose port is never opened and a load that does not reset the
// controller, so that the readers and the common load alone are under test.
// The loom is a JX3 of one module (220 hooks) until settings() says otherwise.
// Files go to a folder of the test's own.
class LoadTest : public ::testing::Test {
protected:
    LoadTest();
    ~LoadTest() override;

    // Writes the settings file and reads it.
    void settings(const std::string& text);
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes);
    std::string writeText(const std::string& name, const std::string& text);
    bool open(const std::string& path, FileType type);

    FakeUI ui;
    std::filesystem::path dir;
    Session s;
    DesignLoader loader{s};
};

}  // namespace wp::test
