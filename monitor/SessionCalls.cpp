#include "monitor/SessionCalls.h"

#include "link/Link.h"
#include "module/ModuleJson.h"
#include "session/HeadendSession.h"

#include <QJsonArray>

namespace {
// What the session's host is told, told to the client.
class ForwardingHost : public QuietHost {
public:
    ForwardingHost(const SessionCalls::Notify& notify, const std::function<bool()>& stopped)
        : m_notify(notify), m_stopped(stopped) {}
    void SetStatus(const QString& text) override {
        QuietHost::SetStatus(text);
        tell({{"call", "status"}, {"text", text}});
    }
    void showMessage(const QString& text, bool error) override {
        tell({{"call", "message"}, {"text", text}, {"error", error}});
    }
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

ModuleAddresses addresses(const QJsonArray& list) {
    ModuleAddresses out;
    for (const QJsonValue& a : list)
        if (const ModuleAddress at{a[0].toInt(-1), a[1].toInt(-1)};
            at.subrack >= 0 && at.subrack < 2 && at.slot >= 0 && at.slot < 16)
            out << at;
    return out;
}
} // namespace

bool SessionCalls::serves(const QString& method) {
    return method == QLatin1String("session.scan.v1");
}

JsonRpc::Message SessionCalls::run(const QString&, const QJsonObject& params,
                                   HeadendSession& session, const Notify& notify,
                                   const std::function<bool()>& stopped,
                                   const std::function<void(LinkHost*)>& lend) {
    ForwardingHost host(notify, stopped);
    ForwardingView view(notify);
    ScanWords words;
    words.module = params["module"].toString(words.module);
    words.group = params["group"].toString(words.group);
    JsonRpc::Message answer;
    lend(&host);
    // Every byte on the line, for the client's line monitor.
    SerialPort& port = session.link().ComPort();
    const SerialPort::Tap before = port.tap();
    port.setTap([&](char dir, const QByteArray& bytes) {
        if (before)
            before(dir, bytes);
        notify(QStringLiteral("bytes.v1"), {{"dir", QString(QLatin1Char(dir))},
                                            {"data", QString::fromLatin1(bytes.toBase64())}});
    });
    try {
        const int found = session.scan(view, words, addresses(params["expected"].toArray()),
                                       ScanEnd::KeepPortOpen);
        answer.result = {{"found", found},
                         {"subrack2Visible", session.state().Subrack2Visible},
                         {"curSlot", session.state().CurSlot}};
    } catch (const OrvexError& e) {
        answer.error = JsonRpc::Error{JsonRpc::LineDown, e.text()};
    }
    port.setTap(before);
    lend(nullptr);
    return answer;
}
