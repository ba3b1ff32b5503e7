#include "sim/SimModule.h"

#include "sim/SimCodec.h"

using namespace SimCodec;

namespace {

QByteArray bytes(const QString& s) {
    return s.toLatin1();
}

QByteArray num(int v) {
    return QByteArray::number(v);
}

void appendParam(QByteArray& out, const SimParamDef& p) {
    out += '@';
    out += p.type;
    out += static_cast<char>(p.flagChar);
    out += LF;
    out += bytes(p.name);
    switch (p.type) {
    case 'D':
        out += LF + num(p.min) + LF + num(p.step) + LF + num(p.count) + LF + num(p.decimals) + LF +
               bytes(p.units);
        break;
    case 'S':
        out += LF;
        for (const SimSegment& s : p.segments)
            out += num(s.first) + LF + num(s.count) + LF + bytes(s.text) + ETB;
        break;
    case 'E':
        out += LF;
        for (const QString& item : p.items)
            out += bytes(item) + LF;
        break;
    case 'I':
        out += LF + bytes(p.text) + LF;
        break;
    default: // "B", "T": the name is the whole line
        break;
    }
    out += CR;
}

QByteArray lines(const QStringList& list) {
    QByteArray out;
    for (const QString& line : list)
        out += bytes(line) + LF;
    return out + ETX;
}

// A signed decimal as a module reads it: digits only, optional leading "-", no overflow.
bool parseInt(const QByteArray& text, int* out) {
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (int i = 0; i < text.size(); ++i)
        if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && text[i] == '-' && text.size() > 1))
            return false;
    bool ok = false;
    *out = text.toInt(&ok);
    return ok;
}

} // namespace

QByteArray simInfoBlock(const SimModuleDef& def) {
    QByteArray out;
    out += STX;
    out += bytes(def.type) + LF;
    out += def.kind + num(def.channels) + LF;
    out += num(def.diag.size()) + LF;
    for (const SimParamDef& p : def.params)
        appendParam(out, p);
    out += ETX;
    return out;
}

int SimParamDef::maxValue() const {
    switch (type) {
    case 'D':
        return count - 1;
    case 'S': {
        int sum = 0;
        for (const SimSegment& s : segments)
            sum += s.count;
        return sum - 1;
    }
    case 'E':
        return items.size() - 1;
    case 'B':
        return 1;
    default:
        return 0;
    }
}

QString SimParamDef::display(int raw) const {
    switch (type) {
    case 'D': {
        double v = min + static_cast<double>(raw) * step;
        for (int i = 0; i < decimals; ++i)
            v /= 10;
        const QString n = QString::number(v, 'f', decimals);
        return units.isEmpty() ? n : n + QLatin1Char(' ') + units;
    }
    case 'S':
        for (const SimSegment& s : segments) {
            if (raw < s.count)
                return s.text + QString::number(s.first + raw);
            raw -= s.count;
        }
        return QString();
    case 'E':
        return items.value(raw);
    case 'B':
        return raw == 0 ? QStringLiteral("On") : QStringLiteral("Off");
    case 'I':
        return text;
    default:
        return name;
    }
}

SimModule::SimModule(const SimModuleDef& base) : m_base(base) {
    applyVariant(0);
    m_eeprom = base.eeprom;
}

const SimModuleDef& SimModule::def() const {
    return m_variant == 0 ? m_base : m_base.variants.at(m_variant - 1);
}

void SimModule::applyVariant(int variant) {
    m_variant = variant;
    m_values = defaults();
    m_committed = m_values;
    m_channel = m_committedChannel = 0;
    m_diag = def().diag;
}

QVector<QVector<int>> SimModule::defaults() const {
    QVector<QVector<int>> out;
    for (const SimParamDef& p : def().params)
        out << p.values;
    return out;
}

QByteArray SimModule::versionReply() const {
    return lines(def().version);
}

QByteArray SimModule::diagReply() const {
    return lines(m_diag);
}

QByteArray SimModule::extDiagReply() const {
    return lines(def().extDiag);
}

QByteArray SimModule::messagesReply() const {
    return lines(def().messages);
}

QByteArray SimModule::markerReply() const {
    return def().hasMarker ? lines({def().marker}) : QByteArray(1, ETX);
}

QByteArray SimModule::serialReply() const {
    return bytes(def().serial) + ETX;
}

int SimModule::value(int param, int channel) const {
    if (param < 0 || param >= m_values.size() || channel < 0 || channel >= def().channels)
        return 0;
    if (param == 0 && def().channels > 1)
        return m_channel;
    return m_values[param][channel];
}

int SimModule::committedValue(int param, int channel) const {
    if (param < 0 || param >= m_committed.size() || channel < 0 || channel >= def().channels)
        return 0;
    return m_committed[param][channel];
}

QByteArray SimModule::valuesReply() const {
    QByteArray out;
    for (int c = 0; c < def().channels; ++c) {
        if (c > 0)
            out += CR;
        for (int p = 0; p < m_values.size(); ++p)
            out += num(value(p, c)) + LF;
    }
    return out + ETX;
}

bool SimModule::storeValue(int param, int value) {
    const SimParamDef& p = def().params.at(param);
    if (value < 0 || value > p.maxValue())
        return false;
    if (p.readOnly())
        return true; // taken and ignored, as a settings file writes every value back
    if (param == 0 && def().channels > 1) {
        m_channel = value;
        m_values[0].fill(value);
    } else {
        m_values[param][def().channels > 1 ? m_channel : 0] = value;
    }
    return true;
}

bool SimModule::writeValue(const QByteArray& param, const QByteArray& value) {
    int v = 0;
    if (!parseInt(value, &v))
        return false;
    if (param == "Z") {
        // The module type: 0 is the module's own, v selects one of the types it can become.
        if (v < 0 || v > m_base.variants.size())
            return false;
        applyVariant(v);
        return true;
    }
    int index = 0;
    if (!parseInt(param, &index) || param.startsWith('-') || index >= def().params.size())
        return false;
    return storeValue(index, v);
}

bool SimModule::setFromPage(int param, int value) {
    if (param < 0 || param >= def().params.size() || !storeValue(param, value))
        return false;
    commit();
    return true;
}

bool SimModule::setMeasured(int param, int value) {
    if (param < 0 || param >= def().params.size() || value < 0 ||
        value > def().params.at(param).maxValue())
        return false;
    m_values[param].fill(value);
    return true;
}

void SimModule::wander() {
    ++m_wanders;
    for (int p = 0; p < def().params.size(); ++p) {
        const SimParamDef& d = def().params.at(p);
        if (d.type != 'D' || !d.readOnly())
            continue;
        // Up twice, down twice: around the profile's value, never out of range.
        const int step = ((m_wanders + unsigned(p)) / 2) % 2 ? -1 : 1;
        setMeasured(p, qBound(0, value(p, 0) + step, d.maxValue()));
    }
}

void SimModule::commit() {
    m_committed = m_values;
    m_committedChannel = m_channel;
    ++m_commits;
}

void SimModule::reset() {
    m_values = m_committed;
    m_channel = m_committedChannel;
    if (m_imageStarted && !m_pending.isEmpty())
        m_eeprom = m_pending;
    m_pending.clear();
    m_imageStarted = false;
    m_special = false;
    m_busyServed = 0;
    ++m_resets;
}

void SimModule::loadDefaults() {
    m_values = defaults();
    m_channel = 0;
    commit();
}

bool SimModule::enterSpecialMode() {
    if (m_eeprom.isEmpty())
        return false;
    m_special = true;
    return true;
}

QByteArray SimModule::specialReply(const QByteArray& text) {
    const QByteArray signedPart = text + 'R';
    return signedPart + hex4(crc16(signedPart)) + CR;
}

QByteArray SimModule::special(const QByteArray& body, int busyRepeats) {
    // cmd "R" four hex digits LF; a frame whose checksum does not hold is not for us.
    const qsizetype n = body.size();
    quint16 crc = 0;
    if (!m_special || n < 8 || body[n - 1] != LF || body[n - 6] != 'R' ||
        !parseHex4(body.mid(n - 5, 4), &crc) || crc16(body.left(n - 5)) != crc)
        return {};
    const QByteArray cmd = body.left(n - 6);
    if (cmd == "03") {
        m_dumpCursor = 0;
        return specialReply("00" + hex4(static_cast<quint16>(m_eeprom.size())));
    }
    if (cmd == "05" || cmd == "04") {
        if (cmd == "05")
            m_dumpCursor = 0;
        if (m_dumpCursor >= m_eeprom.size())
            return specialReply("00");
        return specialReply(bytes(m_eeprom.at(m_dumpCursor++)));
    }
    if (cmd == "06") {
        m_pending.clear();
        m_imageStarted = true;
        m_busyServed = 0;
        return specialReply("00");
    }
    if (cmd.startsWith("07")) {
        const QByteArray line = cmd.mid(2);
        if (!m_imageStarted || line.isEmpty())
            return specialReply("02");
        if (m_busyServed < busyRepeats) {
            ++m_busyServed;
            return specialReply("01");
        }
        m_busyServed = 0;
        m_pending << QString::fromLatin1(line);
        return specialReply("00");
    }
    return {};
}
