#include "agent/Metrics.h"

#include "agent/HeadendStatus.h"

#include <functional>

namespace Metrics {

namespace {

using Labels = QList<QPair<QString, QString>>;

class Writer {
public:
    void family(const char* name, const char* type, const char* help) {
        m_name = QString::fromLatin1(name);
        m_text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                      .arg(m_name, QLatin1String(help), QLatin1String(type));
    }
    void sample(const Labels& labels, const QString& value) {
        m_text += m_name;
        if (!labels.isEmpty()) {
            QStringList pairs;
            for (const auto& [key, text] : labels)
                pairs << key + QLatin1Char('=') + labelValue(text);
            m_text += QLatin1Char('{') + pairs.join(QLatin1Char(',')) + QLatin1Char('}');
        }
        m_text += QLatin1Char(' ') + value + QLatin1Char('\n');
    }
    void sample(const Labels& labels, double value) {
        sample(labels, QString::number(value, 'g', 15));
    }
    QByteArray bytes() const { return m_text.toUtf8(); }

private:
    QString m_name;
    QString m_text;
};

Labels where(int subrack, int slot) {
    return {{QStringLiteral("subrack"), QString::number(subrack + 1)},
            {QStringLiteral("slot"), QString::number(slot + 1)}};
}

// Calls each(labels, slot) for every slot the family shows.
void eachSlot(const HeadendStatus& status, bool presentOnly,
              const std::function<void(const Labels&, const SlotStatus&)>& each) {
    for (int g = 0; g < HeadendStatus::Subracks; ++g)
        for (int s = 0; s < HeadendStatus::Slots; ++s) {
            const SlotStatus& slot = status.at(g, s);
            if (slot.seen && (slot.present || !presentOnly))
                each(where(g, s), slot);
        }
}

void ownSeries(Writer& w, const HeadendStatus& status) {
    w.family("orvex_line_up", "gauge", "The line to the head-end is open (1) or lost (0).");
    w.sample({{QStringLiteral("port"), status.port}}, status.lineUp ? 1 : 0);
    w.family("orvex_bridge_connected", "gauge",
             "A line bridge client has the line (1); polling is paused meanwhile.");
    w.sample({}, status.bridged ? 1 : 0);
    w.family("orvex_bridge_held_seconds", "gauge",
             "How long the bridge client has held the line (0 while none has it).");
    w.sample({}, status.bridged ? double(status.bridgeHeld.elapsed()) / 1000.0 : 0.0);
    w.family("orvex_last_poll_timestamp_seconds", "gauge",
             "Unix time of the last complete poll cycle (0 before the first).");
    w.sample({}, status.lastPoll);
    w.family("orvex_scan_duration_seconds", "gauge", "Duration of the last complete scan.");
    w.sample({}, status.scanDuration);
    w.family("orvex_poll_cycles_total", "counter",
             "Complete poll cycles; a complete scan counts as one.");
    w.sample({}, double(status.pollCycles));
    w.family("orvex_changes_total", "counter",
             "Changes the agent's clients made (set, reset, defaults, load-module, load-config); "
             "the log names who and when.");
    for (auto it = status.changes.begin(); it != status.changes.end(); ++it)
        w.sample({{QStringLiteral("command"), it.key()}}, double(it.value()));
}

void moduleSeries(Writer& w, const HeadendStatus& status) {
    w.family("orvex_module_present", "gauge",
             "The module answers (1); 0 after two failed polls or when a rescan misses it.");
    eachSlot(status, false,
             [&](const Labels& l, const SlotStatus& m) { w.sample(l, double(m.present)); });
    w.family("orvex_poll_errors_total", "counter",
             "Polls of the module that got no answer or an unreadable one.");
    eachSlot(status, false,
             [&](const Labels& l, const SlotStatus& m) { w.sample(l, double(m.pollErrors)); });
    w.family("orvex_module_fault", "gauge",
             "The module shows red in the windows (1): its diagnostic bytes are not all clear, "
             "or a reply of the last scan could not be read.");
    eachSlot(status, true,
             [&](const Labels& l, const SlotStatus& m) { w.sample(l, double(m.fault)); });
    w.family("orvex_module_info", "gauge", "Type and firmware version of the module.");
    eachSlot(status, true, [&](const Labels& l, const SlotStatus& m) {
        if (m.type.isEmpty())
            return; // never read
        w.sample(
            l + Labels{{QStringLiteral("type"), m.type}, {QStringLiteral("version"), m.version}},
            1);
    });
    w.family("orvex_diag_bit", "gauge", "A set diagnostic bit, with the module's text for it.");
    eachSlot(status, true, [&](const Labels& l, const SlotStatus& m) {
        for (const DiagBit& b : m.bits)
            w.sample(l + Labels{{QStringLiteral("byte"), QString::number(b.byte)},
                                {QStringLiteral("bit"), QString::number(b.bit)},
                                {QStringLiteral("text"), b.text}},
                     1);
    });
    w.family("orvex_module_value", "gauge",
             "A read-only number of the module as its control panel shows it; on a module "
             "with several channels, one per channel (1..).");
    eachSlot(status, true, [&](const Labels& l, const SlotStatus& m) {
        for (const ShownValue& v : m.values) {
            Labels labels = l + Labels{{QStringLiteral("index"), QString::number(v.index)},
                                       {QStringLiteral("param"), v.name},
                                       {QStringLiteral("units"), v.units}};
            if (v.channel >= 0)
                labels << qMakePair(QStringLiteral("channel"), QString::number(v.channel + 1));
            w.sample(labels, v.number);
        }
    });
}

} // namespace

QString labelValue(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('"'))
            out += QLatin1String("\\\"");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QByteArray render(const HeadendStatus& status) {
    Writer w;
    ownSeries(w, status);
    if (status.lineUp)
        moduleSeries(w, status);
    return w.bytes();
}

} // namespace Metrics
