// The Windows implementation of every port, made afresh for each call so that nothing is
// shared between calls, instances or apartments (Windows only).
#pragma once

#include "platform/automation/automation_win32.h"
#include "platform/codepage/codepage_win32.h"
#include "platform/digest/digest_win32.h"
#include "platform/directory/directory_win32.h"
#include "platform/files/files_win32.h"
#include "platform/files/sequential_win32.h"
#include "platform/platform.h"
#include "platform/programs/programs_win32.h"
#include "platform/random/random.h"
#include "platform/security/security_win32.h"
#include "platform/services/services_win32.h"
#include "platform/ui/ui_win32.h"
#include "platform/versions/versions_win32.h"

namespace kx {

class SystemPlatform
{
public:
    SystemPlatform();
    SystemPlatform(const SystemPlatform&) = delete;
    SystemPlatform& operator=(const SystemPlatform&) = delete;

    Platform& platform() { return platform_; }
    // What the call did not show because it was quiet.
    const std::vector<String>& held_back() const { return quiet_.held_back(); }

private:
    ui::Quiet quiet_;
    directory::AdsiDirectory directory_;
    files::ScriptingFileSystem files_;
    SeededRandom random_;
    ui::Win32UserInterface ui_{quiet_};
    AnsiCodePage ansi_;
    security::Win32Security security_;
    services::Win32ServiceManager services_;
    versions::Win32Versions versions_;
    files::Win32SequentialFiles sequential_;
    automation::ComAutomation automation_;
    programs::Win32Programs programs_{quiet_};
    digest::Aamd532 digests_;
    Platform platform_;
};

}  // namespace kx
