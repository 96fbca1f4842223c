#pragma once
// Commands to the copy of MERU that runs on this desktop, so that the
// desktop's own shortcut settings can drive it where a program cannot grab
// keys (Wayland):
//   meru --select N      N = 1..5, the same as Ctrl+N
//   meru --show main|notes|clipboard|bookmarks|contacts
//   meru --exit          the same as Exit
// The running copy listens on a Unix socket beside its single-instance lock
// (same private folder, same display key, mode 0600); it answers only
// processes of its own user (SO_PEERCRED). One request line, one answer line
// ("ok" or "error: ..."); after "exit" the connection stays open until the
// copy has saved and ended.
#include <QObject>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;

namespace meru {

// The command switches of a command line.
struct ParsedCommand {
    bool bPresent = false;  // a command switch was given
    std::string strLine;    // the request: "select 3", "show notes", "exit"
    std::string strError;   // not empty: the switches are wrong (says why)
};
ParsedCommand ParseCommandSwitches(int argc, const char* const* argv);

// The socket beside the lock file `lockPath` ("X.lock" -> "X.sock").
std::string CommandSocketPath(const std::string& lockPath);

// Sends `line` to the running copy and waits for its answer (and, for
// "exit", for its end). Messages go to `err`; returns the process's exit
// code: 0 done, 1 no copy answers or it refused.
int SendCommand(const std::string& lockPath, const std::string& line, std::FILE* err,
                int nTimeoutMs = 10000, int nExitTimeoutMs = 120000);

// The running copy's end: listens on the socket and hands each request line
// to the handler, which returns the answer ("ok" or "error: ..."). The
// handler runs on the GUI thread and must not block (queue what may open a
// dialog).
class CCommandServer : public QObject {
public:
    using Handler = std::function<std::string(const std::string& line)>;
    explicit CCommandServer(Handler handler, QObject* parent = nullptr);
    ~CCommandServer() override;

    // Binds the socket (a stale one left by an ended copy is replaced: the
    // caller holds the lock). False with a reason when it cannot.
    bool Listen(const std::string& socketPath, std::string* why);

private:
    struct Client;
    void OnAccept();
    void OnReadable(Client* c);
    void Drop(Client* c);

    Handler m_handler;
    int m_fd = -1;
    std::string m_strPath;
    QSocketNotifier* m_pNotifier = nullptr;
    std::vector<Client*> m_aClients;
    std::vector<int> m_aHeld;  // "exit" connections, closed when the copy ends
};

}  // namespace meru
