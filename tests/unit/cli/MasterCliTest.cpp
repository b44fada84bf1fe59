#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/MasterCli.h"

namespace {

namespace fs = std::filesystem;

// A temporary folder per test, removed at the end.
class MasterCli : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / (std::string("kestrom-cli-") + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // A project file as the program writes them: UTF-16LE with a BOM (the
    // texts here are ASCII, so each character is one unit).
    std::string WriteProject(const std::string& name, const std::string& text) {
        fs::path path = folder_ / name;
        std::ofstream file(path, std::ios::binary);
        file.put('\xFF').put('\xFE');
        for (char c : text) file.put(c).put('\0');
        return path.string();
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // Runs the program's body with the stop flag as given; out and err
    // receive what it prints.
    // The web interface stays off: these cases must not take a port another
    // program on the machine may be using.
    int Run(CliOptions options, bool stopAtOnce = false) {
        options.noWeb = true;
        std::FILE* outFile = std::tmpfile();
        std::FILE* errFile = std::tmpfile();
        std::atomic<bool> stop{stopAtOnce};
        int status = RunMasterCli(options, stop, outFile, errFile);
        out = ReadAll(outFile);
        err = ReadAll(errFile);
        return status;
    }

    static std::string ReadAll(std::FILE* file) {
        std::string text;
        std::rewind(file);
        for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
        std::fclose(file);
        return text;
    }

    fs::path folder_;
    std::string out;
    std::string err;
};

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

TEST_F(MasterCli, AProjectThatCannotBeOpenedGivesStatusTwoAndOneLineNamingIt) {
    CliOptions options;
    options.project = Path("missing.xmb");
    EXPECT_EQ(Run(options), CliStatus::BadInput);
    EXPECT_EQ(Lines(err), 1) << err;
    EXPECT_EQ(err.rfind("kestrom-master-cli: " + options.project + ": ", 0), 0u) << err;

    options.project = WriteProject("broken.xmb", "{\r\n\"polls\": [\r\n {\"function\": 3,,}]}");
    EXPECT_EQ(Run(options), CliStatus::BadInput);
    EXPECT_EQ(Lines(err), 1) << err;
    EXPECT_NE(err.find("broken.xmb: "), std::string::npos) << err;
    EXPECT_NE(err.find("(line 3)\n"), std::string::npos) << err;
    EXPECT_EQ(out, "") << "nothing ran";
}

TEST_F(MasterCli, ADoPollIndexTheProjectLacksIsRefusedBeforeAnythingIsSent) {
    CliOptions options;
    options.project = WriteProject(
        "one.xmb", R"({"port": 1, "polls": [{"function": 3, "start": 0, "size": 1}]})");
    options.doPoll = 1;
    EXPECT_EQ(Run(options), CliStatus::BadInput);
    EXPECT_NE(err.find("--do-poll 1"), std::string::npos) << err;
    EXPECT_EQ(out, "");
}

TEST_F(MasterCli, AStopBeforeAnyReplySavesTheProjectWithItsValuesAndTheProjectsSlave) {
    CliOptions options;
    options.project = WriteProject(
        "plant.xmb",
        R"({"host": "127.0.0.1", "port": 1, "polls": [{"function": 3, "start": 7, "size": 1}],)"
        R"( "datamap": [{"addr": 7, "type": 2, "value": "42"}]})");
    options.port = 2;  // this run's slave, not the project's
    options.savePath = Path("saved.xmb");
    options.logPath = Path("traffic.log");
    EXPECT_EQ(Run(options, true), CliStatus::Ok) << err;

    std::ifstream saved(options.savePath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
    EXPECT_NE(text.find(R"({"addr":7,"type":2,"value":"42"})"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("port":1,)"), std::string::npos) << text;

    // Whatever rows the short run printed are in the log too, line for line.
    std::ifstream log(options.logPath);
    std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(logged, out);
}

TEST_F(MasterCli, ASlaveThatCannotBeReachedEndsTheRunWithStatusOne) {
    CliOptions options;
    // Port 1 on loopback: nothing listens, the connection is refused at once.
    options.project = WriteProject(
        "nowhere.xmb", R"({"host": "127.0.0.1", "port": 1, "retries": 1, "timeout": 20,)"
                       R"( "polls": [{"function": 3, "start": 0, "size": 1}]})");
    options.seconds = 20;
    EXPECT_EQ(Run(options), CliStatus::Failed) << out;
    EXPECT_NE(out.find("  Attempting to connect. \n"), std::string::npos) << out;
    EXPECT_NE(out.find("  Connection Failed. \n"), std::string::npos) << out;
    EXPECT_NE(err.find("could not be reached"), std::string::npos) << err;
}

}  // namespace
