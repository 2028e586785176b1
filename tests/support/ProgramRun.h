#pragma once
// Runs the program as a user would: offscreen, with its folders in a test
// folder, optionally on virtual products and with more environment values.
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

#include "platform/Folders.h"
#include "support/ChildProcess.h"

namespace m470::test {

struct ProgramOutcome {
    int exitCode = -1;
    std::string out, err;
};

// Starts the program without waiting for it.
inline void StartProgram(QProcess& program, const QStringList& arguments, const QString& runtimeFolder,
                         const QString& virtualDevices = {},
                         const std::vector<std::pair<QString, QString>>& environmentValues = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.remove("M470_VIRTUAL");
    if (!virtualDevices.isEmpty()) environment.insert("M470_VIRTUAL", virtualDevices);
    environment.insert("XDG_DATA_HOME", runtimeFolder + "/data");
    environment.insert("XDG_CONFIG_HOME", runtimeFolder + "/config");
    // The first start's language follows the locale: English unless a test says otherwise.
    for (const char* name : {"LC_ALL", "LC_MESSAGES"}) environment.remove(name);
    environment.insert("LANG", "C.UTF-8");
    for (const auto& [name, value] : environmentValues) environment.insert(name, value);
    program.setProcessEnvironment(environment);
    program.start(QString::fromStdString(GetInstallFolder() + "m470"), arguments);
}

inline ProgramOutcome RunProgram(const QStringList& arguments, const QString& runtimeFolder,
                                 const QString& virtualDevices = {},
                                 const std::vector<std::pair<QString, QString>>& environmentValues = {}) {
    TestProcess program;
    StartProgram(program, arguments, runtimeFolder, virtualDevices, environmentValues);
    ProgramOutcome outcome;
    if (!program.waitForFinished(45000)) {
        program.kill();
        program.waitForFinished();
        return outcome;
    }
    outcome.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2;
    outcome.out = program.readAllStandardOutput().toStdString();
    outcome.err = program.readAllStandardError().toStdString();
    return outcome;
}

}  // namespace m470::test
