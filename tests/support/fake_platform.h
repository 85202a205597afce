// A platform of fakes for the operations' tests.
#pragma once

#include <vector>

#include "fake_directory.h"
#include "platform/codepage/codepage.h"
#include "platform/files/files.h"
#include "platform/platform.h"
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

// Message boxes as a list of their texts.
class RecordingUserInterface final : public ui::UserInterface
{
public:
    void message_box(const String& text) override { shown.push_back(text); }
    std::vector<String> shown;
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
    FakeDirectory directory;
    NoFiles files;
    SeededRandom random{[] { return uint64_t(42); }};
    RecordingUserInterface ui;
    Latin1CodePage ansi;
    security::Security security;  // none: every call fails
    services::ServiceManager services;
    versions::Versions versions;
    Platform platform{directory, files, random, ui, ansi, security, services, versions};
};

}  // namespace kx::test
