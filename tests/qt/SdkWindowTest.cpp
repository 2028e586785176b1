// The settings window's switch of the OpenRGB SDK server, played on the
// real window: a port another program holds is said beside the box and the
// window goes on; a free one is listened on until the box is cleared.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Folders.h"
#include "platform/JsonFile.h"
#include "support/ChildProcess.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"

namespace m470 {
namespace {

// A listening socket on a port the kernel chose: held, that port is in use.
class HeldPort {
public:
    HeldPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 1) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~HeldPort() { Release(); }
    void Release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int Port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

class SdkWindow : public ::testing::Test {
protected:
    int Play(const std::string& script) {
        folder.Write("run.script", script);
        const QString runtime = QString::fromStdString(folder.File("run"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        test::TestProcess window;
        test::StartProgram(window, {"--script", QString::fromStdString(folder.File("run.script"))}, runtime, "mouse",
                           {{"M470_DEBUG_LOG", QString::fromStdString(folder.File("trace.log"))}});
        if (!window.waitForFinished(60000)) {
            window.kill();
            window.waitForFinished();
            return -1;
        }
        errors = window.readAllStandardError().toStdString();
        return window.exitCode();
    }
    std::string Registry(const char* name) { return JsonText(Member(LoadJson(folder.File("run/config/M470/registry.json")), name)); }

    test::TempFolder folder{false};
    std::string errors;
};

TEST_F(SdkWindow, ThePortInUseIsSaidBesideTheBoxAndAFreeOneIsListenedOnUntilItIsCleared) {
    HeldPort held;
    ASSERT_GT(held.Port(), 0);
    const std::string port = std::to_string(held.Port());
    std::filesystem::create_directories(folder.File("run/config/M470"));
    folder.Write("run/config/M470/registry.json", "{\"OPENRGB_SDK_PORT\": \"" + port + "\"}\n");
    const std::string open = "until device_select[0] read 1\nclick setbtn\ntrigger setwnd_menu\n";
    ASSERT_EQ(Play(open + "expect openrgb_sdk_check selected 0\nclick openrgb_sdk_check\n"
                          "until openrgb_sdk_status text Port " + port + " could not be opened: another program may use it\n"
                          "expect openrgb_sdk_check selected 1\nquit\n"),
              0)
        << errors;
    EXPECT_EQ(Registry("OPENRGB_SDK"), "1");  // kept: the next start tries again
    EXPECT_NE(folder.Read("trace.log").find("SDK server not listening: 127.0.0.1:" + port), std::string::npos);

    held.Release();
    ASSERT_EQ(Play(open + "until openrgb_sdk_status text Listening on port " + port + "\nclick openrgb_sdk_check\n"
                          "until openrgb_sdk_status text \nexpect openrgb_sdk_check selected 0\nquit\n"),
              0)
        << errors;
    EXPECT_EQ(Registry("OPENRGB_SDK"), "0");
    const std::string trace = folder.Read("trace.log");
    EXPECT_NE(trace.find("SDK server listening on 127.0.0.1:" + port), std::string::npos);
    EXPECT_NE(trace.find("SDK server stopped"), std::string::npos);
}

}  // namespace
}  // namespace m470
