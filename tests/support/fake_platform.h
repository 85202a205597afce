// A platform of fakes for the operations' tests.
#pragma once

#include <vector>

#include "simulated_directory.h"
#include "platform/automation/automation.h"
#include "platform/codepage/codepage.h"
#include "platform/digest/digest.h"
#include "platform/files/files.h"
#include "platform/files/sequential.h"
#include "platform/platform.h"
#include "platform/programs/programs.h"
#include "platform/random/random.h"
#include "platform/security/security.h"
#include "platform/services/services.h"
#include "platform/ui/ui.h"
#include "platform/versions/versions.h"

namespace kx::test {

class NoFiles final : public files::FileSystem
{
public:
    std::unique_ptr<files::FileSystemObject> create() override
    {
        throw Failure(static_cast<int32_t>(0x800A01AD), L"ActiveX component can't create object");
    }
};

[[noreturn]] inline void absent() { throw Failure(static_cast<int32_t>(0x800A01AD), L"not on this platform"); }

// The families that a host test does not reach: every call fails.
struct NoSequentialFiles final : files::SequentialFiles
{
    void open_input(int, const String&) override { absent(); }
    void open_output(int, const String&) override { absent(); }
    String line_input(int) override { absent(); }
    void print_line(int, const String&) override { absent(); }
    bool eof(int) override { absent(); }
    void close(int) override { absent(); }
};
struct NoAutomation final : automation::Automation
{
    std::unique_ptr<automation::Object> create(const String&) override { absent(); }
};
struct NoDigests final : digest::DigestLibrary
{
    void md_file(const std::string&, char (&)[33]) override { absent(); }
};
struct NoPrograms final : programs::Programs
{
    uint32_t start_hidden(const std::string&) override { absent(); }
    void html_help(const std::string&) override { absent(); }
    uintptr_t load_library(const std::string&) override { return 0; }
    void free_library(uintptr_t) override {}
};

// Message boxes as a list of their texts.
class RecordingUserInterface final : public ui::UserInterface
{
public:
    void message_box(const String& text) override { shown.push_back(text); }
    void do_events() override { ++events; }
    std::vector<String> shown;
    int events = 0;
};

// Latin-1 as the ANSI code page: what it lacks becomes "?".
class Latin1CodePage final : public CodePage
{
public:
    std::string to_ansi(const String& text) override
    {
        std::string out;
        for (wchar_t c : text)
            out += c < 0x100 ? static_cast<char>(c) : '?';
        return out;
    }
    String from_ansi(const std::string& text) override
    {
        String out;
        for (char c : text)
            out += static_cast<wchar_t>(static_cast<unsigned char>(c));
        return out;
    }
};

struct FakePlatform
{
    SimulatedDirectory directory;
    NoFiles files;
    SeededRandom random{[] { return uint64_t(42); }};
    RecordingUserInterface ui;
    Latin1CodePage ansi;
    security::Security security;  // none: every call fails
    services::ServiceManager services;
    versions::Versions versions;
    NoSequentialFiles sequential;
    NoAutomation automation;
    NoPrograms programs;
    NoDigests digests;
    Platform platform{directory, files,    random,     ui,         ansi,     security,
                      services,  versions, sequential, automation, programs, digests};
};

}  // namespace kx::test
