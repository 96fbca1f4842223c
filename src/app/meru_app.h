#pragma once
#include <QString>
#include <QStringList>

namespace meru {

// The application object: one run of the organiser.
class CMeruApp {
public:
    // The command line without the program name: switches begin with "-"
    // ("-Embedding" and "-Automation" are accepted and change nothing); the
    // first other argument is the data file path, used unchanged.
    struct CommandLine {
        QString strFile;
        bool bAutomation = false;
    };
    static CommandLine ParseCommandLine(const QStringList& args);
    // The data file: the argument, else the current directory + "/meru.mer".
    static QString DataPath(const CommandLine& cmd);

    // Start-up after the single-instance lock is held and the signal pipe
    // is installed; returns the process's exit code.
    int Run(int& argc, char** argv);

    QString m_strVersion;
};

}  // namespace meru
