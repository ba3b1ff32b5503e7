// The session's operations behind a site agent (agent: and ssh:// ports): each one request, run
// by the agent on its own line at the line's pace.
#include "session/HeadendSession.h"

#include "link/AgentAddress.h"
#include "link/PortInfo.h"
#include "module/ModuleJson.h"
#include "net/AgentChannel.h"

#include "files/FileTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSaveFile>

namespace {
struct Replay {
    ModuleTable& modules;
    SharedState& state;
    LinkHost& host;
    ScanView* view;

    void host_(const QJsonObject& p) {
        const QString call = p["call"].toString();
        if (call == QLatin1String("status"))
            host.SetStatus(p["text"].toString());
        else if (call == QLatin1String("message"))
            host.showMessage(p["text"].toString(), p["error"].toBool());
        else if (call == QLatin1String("progress"))
            host.progress(p["value"].toInt(), p["max"].toInt());
    }
    // The agent's line, for this program's line monitor.
    static void bytes_(const QJsonObject& p, const SerialPort::Tap& tap) {
        char dir = 0;
        QByteArray bytes;
        if (tap && JsonRpc::readBytesNote(p, &dir, &bytes))
            tap(dir, bytes);
    }
    void view_(const QJsonObject& p) {
        if (!view)
            return;
        const QString call = p["call"].toString();
        const int g = p["subrack"].toInt(-1), s = p["slot"].toInt(-1);
        const bool slot = g >= 0 && g < 2 && s >= 0 && s < 16;
        if (call == QLatin1String("page") && g >= 0 && g < 2)
            view->showSubrackPage(g);
        else if (call == QLatin1String("lamp"))
            view->toggleLamp();
        else if (call == QLatin1String("missing"))
            view->replyMissing(p["text"].toString());
        else if (slot && call == QLatin1String("found"))
            visited(g, s, &p);
        else if (slot && call == QLatin1String("empty"))
            visited(g, s, nullptr);
    }
    void visited(int g, int s, const QJsonObject* found) {
        state.CurSlot = s;
        TModule& m = modules.renew(s, g);
        modules.diagLines(s, g).clear();
        view->processEvents();
        if (!found) {
            m.TypeName = NotInstalledText;
            view->slotEmpty(g, s);
            return;
        }
        m = ModuleJson::read((*found)["record"].toObject());
        ++state.FoundCount;
        state.Subrack2Visible = true;
        view->slotFound(g, s, m);
    }
};

// One of the session's operations run by the site agent behind the port: this program's hold
// on the agent's line ends for it, one request goes, and what the agent's session shows and
// says on the way (view.v1, host.v1, bytes.v1) is shown here by the same calls as on this
// program's line. The answer's result; none when the agent does not serve the method (an
// agent of before it: the work runs here, on the line it lends). PortError when the agent
// cannot be reached, the answer does not come or is an error.
std::optional<QJsonObject> callAgent(HeadendSession& session, const QString& method,
                                     const QJsonObject& params, ScanView* view = nullptr) {
    Link& link = session.link();
    AgentAddress address;
    QString error;
    if (!AgentAddress::parse(link.ComPort().portName(), &address, &error))
        throw PortError(Ports::notOpenedText(error));
    // The agent works on its own line: this program's hold on it ends meanwhile.
    link.closePort();
    AgentChannel channel;
    if (!channel.open(address, &error))
        throw PortError(Ports::notOpenedText(error));
    Replay replay{session.modules(), session.state(), session.host(), view};
    LinkHost& host = session.host();
    const JsonRpc::Message answer = channel.call(
        method, params,
        [&](const QString& what, const QJsonObject& p) {
            if (what == QLatin1String("view.v1"))
                replay.view_(p);
            else if (what == QLatin1String("host.v1"))
                replay.host_(p);
            else if (what == QLatin1String("bytes.v1"))
                replay.bytes_(p, link.ComPort().tap());
        },
        [&host] { return host.stopRequested(); });
    host.progress(0, 0);
    if (answer.error && answer.error->code == JsonRpc::MethodNotFound)
        return std::nullopt;
    if (answer.error)
        throw PortError(answer.error->message);
    return answer.result;
}
} // namespace

std::optional<int> HeadendSession::remoteScan(ScanView& view, const ScanWords& words,
                                              const ModuleAddresses& expected, ScanEnd end) {
    m_state.FoundCount = 0;
    m_state.Subrack2Visible = false;
    const std::optional<QJsonObject> result =
        callAgent(*this, QStringLiteral("session.scan.v1"),
                  {{"expected", ModuleJson::writeAddresses(expected)},
                   {"module", words.module},
                   {"group", words.group}},
                  &view);
    if (!result)
        return std::nullopt;
    m_state.CurSlot = (*result)["curSlot"].toInt(m_state.CurSlot);
    m_link.ReplyTimeout = Protocol::PresenceTimeout;
    if (end == ScanEnd::KeepPortOpen && !m_link.ComPort().open())
        throw PortError(Ports::notOpenedText(m_link.ComPort().errorString()));
    return m_state.FoundCount;
}

std::optional<FileOutcome> HeadendSession::remoteSave(const std::optional<ModuleAddress>& at,
                                                      const QString& file) {
    // A file this program cannot write fails here, as on its own line: before any frame.
    if (QSaveFile probe(file); !probe.open(QIODevice::WriteOnly))
        return std::nullopt;
    QJsonObject params{{"file", file}};
    if (at)
        params["module"] = ModuleJson::writeAddresses({*at}).first();
    if (QFile earlier(file); earlier.open(QIODevice::ReadOnly))
        params["earlier"] = QString::fromLatin1(earlier.readAll().toBase64());
    const std::optional<QJsonObject> result =
        callAgent(*this, QStringLiteral("session.save.v1"), params);
    if (!result)
        return std::nullopt;
    const QString name = (*result)["file"].toString();
    FileOutcome o = FileOutcome::fromJson(
        *result, isPlainFileName(name) ? QFileInfo(file).dir().filePath(name) : file);
    if (!o.ok() || !result->contains("data"))
        return o;
    QSaveFile saved(o.file);
    if (!saved.open(QIODevice::WriteOnly) ||
        saved.write(QByteArray::fromBase64((*result)["data"].toString().toLatin1())) < 0 ||
        !saved.commit()) {
        m_host.showMessage(
            QStringLiteral("%1 %2: %3; the head-end's file stays unwritten here.")
                .arg(FileTexts::FileIOError, QDir::toNativeSeparators(o.file), saved.errorString()),
            true);
        o.kind = FileOutcome::Failed;
    }
    return o;
}

std::optional<FileOutcome> HeadendSession::remoteLoad(const QString& file, bool moduleFile,
                                                      const std::optional<ModuleAddresses>& only) {
    // A file that cannot be read fails here, as on its own line: before any frame.
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonObject params{{"file", file},
                       {"data", QString::fromLatin1(in.readAll().toBase64())},
                       {"moduleFile", moduleFile},
                       {"at", ModuleJson::writeAddresses({currentAddress()}).first()}};
    if (only)
        params["only"] = ModuleJson::writeAddresses(*only);
    const std::optional<QJsonObject> result =
        callAgent(*this, QStringLiteral("session.load.v1"), params);
    if (!result)
        return std::nullopt;
    return FileOutcome::fromJson(*result, file);
}
