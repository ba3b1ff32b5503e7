#include "agent/PageCalls.h"

#include "agent/HeadendStatus.h"
#include "agent/MeasuredTrend.h"
#include "cli/Report.h"
#include "link/ModuleReload.h"
#include "module/ModuleAddress.h"
#include "module/ParamAccess.h"
#include "module/Protocol.h"
#include "session/HeadendSession.h"

#include <QJsonArray>

namespace {
struct Invalid {
    QString text;
};

// The module a call names, with its record of the last show or scan.
TModule& recordOf(const QJsonObject& params, HeadendSession& session, ModuleAddress* at) {
    const QString name = params["module"].toString();
    if (!ModuleAddress::parse(name, at))
        throw Invalid{QStringLiteral("no module '%1'").arg(name)};
    TModule* m = session.modules().at(at->slot, at->subrack);
    if (!m || m->TypeName == NotInstalledText)
        throw Invalid{QStringLiteral("no module answered at %1").arg(name)};
    return *m;
}

// One step of a spin box, as the panel takes it: the record changes, the module is written.
QJsonObject step(const QJsonObject& params, HeadendSession& session, QString* change) {
    ModuleAddress at;
    TModule& m = recordOf(params, session, &at);
    const int index = params["index"].toInt(-1);
    if (index < 0 || index >= m.Params.size() || m.Params[index].Kind != KindNumeric)
        throw Invalid{QStringLiteral("parameter %1 of %2 is no number to step")
                          .arg(params["index"].toVariant().toString(), at.name())};
    Link& link = session.link();
    link.ReplyTimeout = Protocol::ReadTimeout;
    bool written = link.SelectModule(at.subrack, at.slot);
    if (written) {
        params["up"].toBool() ? StepUp(m, index) : StepDown(m, index);
        const qint32 value = m.Params[index].Values[m.CurChannel];
        if (m.Dirty) {
            written = link.WriteValue(WriteNumber(m, index), value);
            // Named as a command is, by what it does first: the metrics count it so.
            *change =
                QStringLiteral("write %1 parameter %2 = %3").arg(at.name()).arg(index).arg(value);
        }
        m.Dirty = false;
    }
    return {{"written", written}, {"param", Report::paramJson(m, index)}};
}

// The live values of an open panel: a read of the measured values (none with "read": false),
// which changes nothing and is no change to log, and their trend.
QJsonObject measured(const QJsonObject& params, HeadendSession& session, MeasuredTrends& trends) {
    ModuleAddress at;
    bool read = false;
    QJsonArray changed;
    // A module with no measured value is not asked for its values.
    if (HasMeasured(recordOf(params, session, &at)) && params["read"].toBool(true)) {
        for (const int index : session.refreshMeasured(at, &read))
            changed << index;
    }
    const TModule& m = recordOf(params, session, &at);
    const qint64 now = MeasuredTrends::now();
    if (read)
        trends.take(at, m, now);
    QJsonArray list;
    for (int i = 0; i < qMin<qsizetype>(qMax(0, m.ParamCount), m.Params.size()); ++i) {
        if (!IsMeasured(m.Params[i]))
            continue;
        QJsonObject param = Report::paramJson(m, i);
        if (const QJsonObject trend = trends.json(at, m, i, now); !trend.isEmpty())
            param[QStringLiteral("trend")] = trend;
        list << param;
    }
    return {{"read", read}, {"changed", changed}, {"params", list}};
}

QJsonObject commit(const QJsonObject& params, HeadendSession& session, QString* change) {
    ModuleAddress at;
    recordOf(params, session, &at);
    Link& link = session.link();
    link.ReplyTimeout = Protocol::ReadTimeout;
    const bool committed =
        link.SelectModule(at.subrack, at.slot) && link.CommitEEPROM(at.slot, at.subrack);
    *change = QStringLiteral("%1 %2").arg(QLatin1String(Protocol::Commit.name), at.name());
    return {{"committed", committed}};
}
} // namespace

bool PageCalls::answersAtOnce(const QString& method) {
    return method == QLatin1String("headend.v1");
}

QJsonObject PageCalls::atOnce(const QString&, const HeadendStatus& status) {
    QJsonArray list;
    for (int g = 0; g < HeadendStatus::Subracks; ++g)
        for (int s = 0; s < HeadendStatus::Slots; ++s) {
            const SlotStatus& m = status.at(g, s);
            list.append(QJsonObject{{"module", ModuleAddress{g, s}.name()},
                                    {"present", m.present},
                                    {"type", m.present ? m.type : QString()},
                                    {"version", m.present ? m.version : QString()},
                                    {"fault", m.present && m.fault}});
        }
    return {{"line", status.port},
            {"lineUp", status.lineUp},
            {"scanned", status.pollCycles > 0},
            {"slots", list}};
}

bool PageCalls::usesLine(const QString& method) {
    return method == QLatin1String("step.v1") || method == QLatin1String("commit.v1") ||
           method == QLatin1String("measured.v1");
}

JsonRpc::Message PageCalls::onLine(const QString& method, const QJsonObject& params,
                                   HeadendSession& session, MeasuredTrends& trends,
                                   QString* change) {
    JsonRpc::Message answer;
    try {
        answer.result = method == QLatin1String("step.v1")     ? step(params, session, change)
                        : method == QLatin1String("commit.v1") ? commit(params, session, change)
                                                               : measured(params, session, trends);
    } catch (const Invalid& invalid) {
        answer.error = JsonRpc::Error{JsonRpc::InvalidParams, invalid.text};
    } catch (const OrvexError& e) {
        answer.error = JsonRpc::Error{JsonRpc::LineDown, e.text()};
    }
    return answer;
}
