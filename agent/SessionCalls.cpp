#include "agent/SessionCalls.h"

#include "link/AgentAddress.h"
#include "link/Link.h"
#include "module/ModuleJson.h"
#include "session/HeadendSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QScopeGuard>
#include <QTemporaryDir>

namespace {
// What the session's host is told, told to the client.
class ForwardingHost : public QuietHost {
public:
    ForwardingHost(const SessionCalls::Notify& notify, const std::function<bool()>& stopped)
        : m_notify(notify), m_stopped(stopped) {}
    void SetStatus(const QString& text) override {
        QuietHost::SetStatus(text);
        tell({{"call", "status"}, {"text", names(text)}});
    }
    void showMessage(const QString& text, bool error) override {
        tell({{"call", "message"}, {"text", names(text)}, {"error", error}});
    }
    // The texts name a file as the client does.
    std::function<QString(const QString&)> names = [](const QString& text) { return text; };
    void progress(int value, int max) override {
        tell({{"call", "progress"}, {"value", value}, {"max", max}});
    }
    bool stopRequested() const override { return m_stopped(); }

private:
    void tell(const QJsonObject& what) { m_notify(QStringLiteral("host.v1"), what); }
    const SessionCalls::Notify& m_notify;
    const std::function<bool()>& m_stopped;
};

// What the scan shows, told to the client.
class ForwardingView : public QuietScanView {
public:
    explicit ForwardingView(const SessionCalls::Notify& notify) : m_notify(notify) {}
    void showSubrackPage(int subrack) override { tell({{"call", "page"}, {"subrack", subrack}}); }
    void toggleLamp() override { tell({{"call", "lamp"}}); }
    void slotEmpty(int subrack, int slot) override { slotCall("empty", subrack, slot, {}); }
    void slotFound(int subrack, int slot, const TModule& m) override {
        slotCall("found", subrack, slot, ModuleJson::write(m));
    }
    void replyMissing(const QString& text) override { tell({{"call", "missing"}, {"text", text}}); }

private:
    void slotCall(const char* call, int subrack, int slot, const QJsonObject& record) {
        tell({{"call", call}, {"subrack", subrack}, {"slot", slot}, {"record", record}});
    }
    void tell(const QJsonObject& what) { m_notify(QStringLiteral("view.v1"), what); }
    const SessionCalls::Notify& m_notify;
};

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// The file of a save or a load, in a folder of its own here under the client's name for it.
struct FileHere {
    QTemporaryDir dir;
    QString client; // the client's path
    QString path() const { return dir.filePath(QFileInfo(client).fileName()); }
    QString clientNames(QString text) const {
        return text.replace(QDir::toNativeSeparators(dir.path()),
                            QDir::toNativeSeparators(QFileInfo(client).path()));
    }
    bool usable() const { return dir.isValid() && isPlainFileName(QFileInfo(client).fileName()); }
};

// A module named by a call; none named is none, one outside the head-end a fault.
std::optional<ModuleAddress> moduleAt(const QJsonValue& at) {
    if (at.isUndefined())
        return std::nullopt;
    const ModuleAddresses named = ModuleJson::readAddresses(QJsonArray{at});
    if (named.isEmpty())
        throw OrvexError(QStringLiteral("no such module"));
    return named.first();
}

QJsonObject scan(const QJsonObject& params, HeadendSession& session,
                 const SessionCalls::Notify& notify) {
    ForwardingView view(notify);
    ScanWords words;
    words.module = params["module"].toString(words.module);
    words.group = params["group"].toString(words.group);
    const int found = session.scan(view, words, ModuleJson::readAddresses(params["expected"]),
                                   ScanEnd::KeepPortOpen);
    return {{"found", found},
            {"subrack2Visible", session.state().Subrack2Visible},
            {"curSlot", session.state().CurSlot}};
}

// A save writes beside a file that holds modules not answering now: the earlier file comes
// along, and the file saved goes back.
QJsonObject save(const QJsonObject& params, HeadendSession& session, const FileHere& here) {
    if (params.contains("earlier"))
        writeBytes(here.path(), QByteArray::fromBase64(params["earlier"].toString().toLatin1()));
    const std::optional<ModuleAddress> at = moduleAt(params["module"]);
    const FileOutcome o =
        at ? session.saveModule(*at, here.path()) : session.saveConfig(here.path());
    QJsonObject result = o.json();
    result["file"] = QFileInfo(o.file).fileName();
    if (QFile saved(o.file); o.ok() && saved.open(QIODevice::ReadOnly))
        result["data"] = QString::fromLatin1(saved.readAll().toBase64());
    return result;
}

// A module file goes onto the module the client works with.
QJsonObject load(const QJsonObject& params, HeadendSession& session, const FileHere& here) {
    writeBytes(here.path(), QByteArray::fromBase64(params["data"].toString().toLatin1()));
    const bool moduleFile = params["moduleFile"].toBool();
    if (const std::optional<ModuleAddress> at = moduleAt(params["at"]); moduleFile && at) {
        session.state().CurSubrack = at->subrack;
        session.state().CurSlot = at->slot;
    }
    std::optional<ModuleAddresses> only;
    if (params.contains("only"))
        only = ModuleJson::readAddresses(params["only"]);
    return session.load(here.path(), moduleFile, only).json();
}
} // namespace

bool SessionCalls::serves(const QString& method) {
    return method == QLatin1String("session.scan.v1") ||
           method == QLatin1String("session.save.v1") || method == QLatin1String("session.load.v1");
}

QString SessionCalls::change(const QString& method, const QJsonObject& params) {
    if (method != QLatin1String("session.load.v1"))
        return {};
    return QStringLiteral("load %1").arg(QFileInfo(params["file"].toString()).fileName());
}

JsonRpc::Message SessionCalls::run(const QString& method, const QJsonObject& params,
                                   HeadendSession& session, const Notify& notify,
                                   const std::function<bool()>& stopped,
                                   const std::function<void(LinkHost*)>& lend) {
    ForwardingHost host(notify, stopped);
    JsonRpc::Message answer;
    FileHere here;
    here.client = params["file"].toString();
    if (method != QLatin1String("session.scan.v1") && !here.usable()) {
        answer.error = JsonRpc::Error{JsonRpc::InvalidParams,
                                      QStringLiteral("no file name: %1").arg(here.client)};
        return answer;
    }
    host.names = [&here](const QString& text) { return here.clientNames(text); };
    lend(&host);
    // Every byte on the line, for the client's line monitor.
    SerialPort& port = session.link().ComPort();
    const SerialPort::Tap before = port.tap();
    port.setTap([&](char dir, const QByteArray& bytes) {
        if (before)
            before(dir, bytes);
        notify(QStringLiteral("bytes.v1"), JsonRpc::bytesNote(dir, bytes));
    });
    const auto restore = qScopeGuard([&] {
        port.setTap(before);
        lend(nullptr);
    });
    try {
        answer.result = method == QLatin1String("session.scan.v1")   ? scan(params, session, notify)
                        : method == QLatin1String("session.save.v1") ? save(params, session, here)
                                                                     : load(params, session, here);
    } catch (const OrvexError& e) {
        answer.error = JsonRpc::Error{JsonRpc::LineDown, e.text()};
    }
    return answer;
}
