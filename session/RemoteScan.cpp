// The scan of a head-end behind a site agent (agent: and ssh:// ports): one request, run by the
// agent on its own line at the line's pace; what its scan shows and says comes back as it goes
// and is shown here by the same calls as a scan on this program's line.
#include "session/HeadendSession.h"

#include "link/AgentAddress.h"
#include "link/PortInfo.h"
#include "module/ModuleJson.h"
#include "net/AgentChannel.h"

#include <QJsonArray>

namespace {
struct Replay {
    ModuleTable& modules;
    SharedState& state;
    LinkHost& host;
    ScanView& view;

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
        const QString dir = p["dir"].toString();
        if (tap &&
            (dir == QLatin1String(">") || dir == QLatin1String("<") || dir == QLatin1String("#")))
            tap(dir.at(0).toLatin1(), QByteArray::fromBase64(p["data"].toString().toLatin1()));
    }
    void view_(const QJsonObject& p) {
        const QString call = p["call"].toString();
        const int g = p["subrack"].toInt(-1), s = p["slot"].toInt(-1);
        const bool slot = g >= 0 && g < 2 && s >= 0 && s < 16;
        if (call == QLatin1String("page") && g >= 0 && g < 2)
            view.showSubrackPage(g);
        else if (call == QLatin1String("lamp"))
            view.toggleLamp();
        else if (call == QLatin1String("missing"))
            view.replyMissing(p["text"].toString());
        else if (slot && call == QLatin1String("found"))
            visited(g, s, &p);
        else if (slot && call == QLatin1String("empty"))
            visited(g, s, nullptr);
    }
    void visited(int g, int s, const QJsonObject* found) {
        state.CurSlot = s;
        TModule& m = modules.renew(s, g);
        modules.diagLines(s, g).clear();
        view.processEvents();
        if (!found) {
            m.TypeName = NotInstalledText;
            view.slotEmpty(g, s);
            return;
        }
        m = ModuleJson::read((*found)["record"].toObject());
        ++state.FoundCount;
        state.Subrack2Visible = true;
        view.slotFound(g, s, m);
    }
};
} // namespace

std::optional<int> HeadendSession::remoteScan(ScanView& view, const ScanWords& words,
                                              const ModuleAddresses& expected, ScanEnd end) {
    AgentAddress address;
    QString error;
    if (!AgentAddress::parse(m_link.ComPort().portName(), &address, &error))
        throw PortError(Ports::notOpenedText(error));
    // The agent scans on its own line: this program's hold on it ends meanwhile.
    m_link.closePort();
    AgentChannel channel;
    if (!channel.open(address, &error))
        throw PortError(Ports::notOpenedText(error));
    QJsonArray wanted;
    for (const ModuleAddress& a : expected)
        wanted.append(QJsonArray{a.subrack, a.slot});
    m_state.FoundCount = 0;
    m_state.Subrack2Visible = false;
    Replay replay{m_modules, m_state, m_host, view};
    const JsonRpc::Message answer = channel.call(
        QStringLiteral("session.scan.v1"),
        {{"expected", wanted}, {"module", words.module}, {"group", words.group}},
        [this, &replay](const QString& method, const QJsonObject& p) {
            if (method == QLatin1String("view.v1"))
                replay.view_(p);
            else if (method == QLatin1String("host.v1"))
                replay.host_(p);
            else if (method == QLatin1String("bytes.v1"))
                replay.bytes_(p, m_link.ComPort().tap());
        },
        [this] { return m_host.stopRequested(); });
    m_host.progress(0, 0);
    // An agent of before this call: the scan runs here, on the line it lends.
    if (answer.error && answer.error->code == JsonRpc::MethodNotFound)
        return std::nullopt;
    if (answer.error && !m_host.stopRequested())
        throw PortError(answer.error->message);
    if (answer.error)
        m_host.SetStatus(ScanResultText(m_state.FoundCount));
    else
        m_state.CurSlot = answer.result["curSlot"].toInt(m_state.CurSlot);
    m_link.ReplyTimeout = Protocol::PresenceTimeout;
    if (end == ScanEnd::KeepPortOpen && !m_link.ComPort().open())
        throw PortError(Ports::notOpenedText(m_link.ComPort().errorString()));
    return m_state.FoundCount;
}
