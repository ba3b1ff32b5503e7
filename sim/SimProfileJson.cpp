// Reading and checking head-end profiles. A profile error names the module and parameter it
// is about, so that whoever writes a profile finds the line at once.
#include "sim/SimModule.h"
#include "sim/SimProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

struct ProfileError {
    QString text;
};

[[noreturn]] void fail(const QString& where, const QString& what) {
    throw ProfileError{where.isEmpty() ? what : where + QStringLiteral(": ") + what};
}

void checkKeys(const QJsonObject& o, const QStringList& allowed, const QString& where) {
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!allowed.contains(it.key()))
            fail(where, QStringLiteral("unknown key \"%1\"").arg(it.key()));
}

// Module texts travel as single bytes between control characters: refuse what cannot.
QString text(const QJsonValue& v, const QString& where, const QString& key) {
    if (!v.isString())
        fail(where, QStringLiteral("\"%1\" must be a text").arg(key));
    const QString s = v.toString();
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() > 0xFF)
            fail(where, QStringLiteral("\"%1\" holds a character a module cannot send").arg(key));
    return s;
}

QString text(const QJsonObject& o, const QString& key, const QString& where, const QString& def) {
    return o.contains(key) ? text(o.value(key), where, key) : def;
}

QStringList texts(const QJsonObject& o, const QString& key, const QString& where) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return {};
    if (v.isString())
        return {text(v, where, key)};
    if (!v.isArray())
        fail(where, QStringLiteral("\"%1\" must be a list of texts").arg(key));
    QStringList out;
    for (const QJsonValue& item : v.toArray())
        out << text(item, where, key);
    return out;
}

int number(const QJsonObject& o, const QString& key, const QString& where, int def, int lo,
           int hi) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return def;
    const double d = v.toDouble(1e300);
    if (!v.isDouble() || d != static_cast<int>(d) || d < lo || d > hi)
        fail(
            where,
            QStringLiteral("\"%1\" must be a whole number from %2 to %3").arg(key).arg(lo).arg(hi));
    return static_cast<int>(d);
}

quint8 flagChar(const QJsonObject& p, const QString& where) {
    if (p.contains(QStringLiteral("flagChar"))) {
        // Any byte, so that a test profile can send a header the program must repair; only
        // the bytes that would end the line or the block are refused.
        const QString f = p.value(QStringLiteral("flagChar")).toString();
        if (f.size() != 1 || f.at(0).unicode() > 0xFF || f.at(0) == QLatin1Char('\n') ||
            f.at(0) == QLatin1Char('\r') || f.at(0).unicode() == 0x03)
            fail(where, QStringLiteral("\"flagChar\" must be one character"));
        return static_cast<quint8>(f.at(0).unicode());
    }
    static const QMap<QString, quint8> bits = {{QStringLiteral("reload"), 0x01},
                                               {QStringLiteral("hidden"), 0x02},
                                               {QStringLiteral("readonly"), 0x04},
                                               {QStringLiteral("typable"), 0x10}};
    quint8 flags = 0x40;
    for (const QString& name : texts(p, QStringLiteral("flags"), where)) {
        if (!bits.contains(name))
            fail(where, QStringLiteral("unknown flag \"%1\"").arg(name));
        flags |= bits.value(name);
    }
    return flags;
}

void readTypeFields(const QJsonObject& p, SimParamDef& d, const QString& where) {
    switch (d.type) {
    case 'D':
        d.min = number(p, QStringLiteral("min"), where, 0, -99999999, 99999999);
        d.step = number(p, QStringLiteral("step"), where, 1, -99999999, 99999999);
        d.count = number(p, QStringLiteral("count"), where, 1, 1, 99999999);
        d.decimals = number(p, QStringLiteral("decimals"), where, 0, 0, 3);
        d.units = text(p, QStringLiteral("units"), where, QString());
        break;
    case 'S':
        for (const QJsonValue& sv : p.value(QStringLiteral("segments")).toArray()) {
            const QJsonObject so = sv.toObject();
            checkKeys(so,
                      {QStringLiteral("first"), QStringLiteral("count"), QStringLiteral("text")},
                      where);
            d.segments.append({number(so, QStringLiteral("first"), where, 0, -99999, 99999),
                               number(so, QStringLiteral("count"), where, 1, 1, 99999),
                               text(so, QStringLiteral("text"), where, QString())});
        }
        if (d.segments.isEmpty())
            fail(where, QStringLiteral("a segmented parameter needs \"segments\""));
        break;
    case 'E':
        d.items = texts(p, QStringLiteral("items"), where);
        if (d.items.isEmpty())
            fail(where, QStringLiteral("a list parameter needs \"items\""));
        break;
    case 'I':
        d.text = text(p, QStringLiteral("text"), where, QString());
        break;
    default:
        break;
    }
}

void readValues(const QJsonObject& p, SimParamDef& d, int channels, const QString& where) {
    QVector<int> values;
    if (p.contains(QStringLiteral("values"))) {
        for (const QJsonValue& v : p.value(QStringLiteral("values")).toArray()) {
            QJsonObject one{{QStringLiteral("v"), v}};
            values << number(one, QStringLiteral("v"), where, 0, 0, d.maxValue());
        }
        if (values.size() != channels)
            fail(where,
                 QStringLiteral("\"values\" needs one value per channel (%1)").arg(channels));
    } else {
        values.fill(number(p, QStringLiteral("value"), where, 0, 0, d.maxValue()), channels);
    }
    d.values = values;
}

SimParamDef readParam(const QJsonObject& p, int channels, const QString& where) {
    checkKeys(p,
              {QStringLiteral("type"), QStringLiteral("flags"), QStringLiteral("flagChar"),
               QStringLiteral("name"), QStringLiteral("min"), QStringLiteral("step"),
               QStringLiteral("count"), QStringLiteral("decimals"), QStringLiteral("units"),
               QStringLiteral("segments"), QStringLiteral("items"), QStringLiteral("text"),
               QStringLiteral("value"), QStringLiteral("values")},
              where);
    SimParamDef d;
    const QString type = text(p, QStringLiteral("type"), where, QString());
    if (type.size() != 1 || !QStringLiteral("DSEBIT").contains(type))
        fail(where, QStringLiteral("\"type\" must be one of D, S, E, B, I, T"));
    d.type = type.at(0).toLatin1();
    d.flagChar = flagChar(p, where);
    d.name = text(p, QStringLiteral("name"), where, QString());
    readTypeFields(p, d, where);
    readValues(p, d, channels, where);
    return d;
}

void readPages(const QJsonObject& o, SimPagesDef& pg, const QString& baseDir,
               const QString& where) {
    checkKeys(o,
              {QStringLiteral("folder"), QStringLiteral("width"), QStringLiteral("height"),
               QStringLiteral("blockSize"), QStringLiteral("wait"), QStringLiteral("waitText")},
              where);
    QString folder = text(o, QStringLiteral("folder"), where, QString());
    if (!folder.startsWith(QLatin1Char(':')) && QDir::isRelativePath(folder))
        folder = QDir(baseDir).filePath(folder);
    if (!QFileInfo::exists(folder + QStringLiteral("/index.html")))
        fail(where, QStringLiteral("pages folder %1 has no index.html").arg(folder));
    pg.folder = folder;
    pg.width = number(o, QStringLiteral("width"), where, 640, 1, 10000);
    pg.height = number(o, QStringLiteral("height"), where, 480, 1, 10000);
    pg.blockSize = number(o, QStringLiteral("blockSize"), where, 400, 16, 60000);
    const QJsonObject wait = o.value(QStringLiteral("wait")).toObject();
    for (auto it = wait.begin(); it != wait.end(); ++it)
        pg.waitSeconds.insert(it.key(), number(wait, it.key(), where, 1, 1, 60));
    pg.waitText = text(o, QStringLiteral("waitText"), where, QString());
}

void readConsole(const QJsonObject& o, SimConsoleDef& c, const QString& where) {
    checkKeys(o, {QStringLiteral("banner"), QStringLiteral("prompt"), QStringLiteral("status")},
              where);
    c.enabled = true;
    c.banner = text(o, QStringLiteral("banner"), where, QString());
    c.prompt = text(o, QStringLiteral("prompt"), where, QStringLiteral("> "));
    c.status = texts(o, QStringLiteral("status"), where);
}

void checkModule(const SimModuleDef& m, const QString& where) {
    static const QRegularExpression hexByte(QStringLiteral("^[0-9A-Fa-f]{2}$"));
    for (const QString& b : m.diag)
        if (!hexByte.match(b).hasMatch())
            fail(where,
                 QStringLiteral("diagnostic byte \"%1\" is not two hexadecimal digits").arg(b));
    for (int i = 0; i < m.eeprom.size(); ++i) {
        const QString& line = m.eeprom.at(i);
        if (line.contains(QLatin1Char('R')) || (i > 0 && line.size() <= 8))
            fail(where, QStringLiteral("EEPROM line %1 must be longer than 8 characters and "
                                       "hold no \"R\"")
                            .arg(i + 1));
    }
    if (m.channels > 1 && (m.params.isEmpty() || m.params.at(0).maxValue() < m.channels - 1))
        fail(where, QStringLiteral("parameter 0 of a module with %1 channels must select them")
                        .arg(m.channels));
    const int size = simInfoBlock(m).size();
    if (size > 2048)
        fail(
            where,
            QStringLiteral("its info block takes %1 bytes; a module sends at most 2048").arg(size));
}

SimModuleDef readModule(const QJsonObject& o, const QString& baseDir, const QString& where,
                        bool allowVariants) {
    SimModuleDef m;
    m.type = text(o, QStringLiteral("type"), where, QString());
    if (m.type.isEmpty())
        fail(where, QStringLiteral("\"type\" is missing"));
    m.version = o.contains(QStringLiteral("version")) ? texts(o, QStringLiteral("version"), where)
                                                      : QStringList{QStringLiteral("V1.00")};
    m.serial = text(o, QStringLiteral("serial"), where, QString());
    const QString kind = text(o, QStringLiteral("kind"), where, QStringLiteral("P"));
    if (kind.size() != 1 || !QStringLiteral("PTU").contains(kind))
        fail(where, QStringLiteral("\"kind\" must be P, T or U"));
    m.kind = kind.at(0).toLatin1();
    m.channels = number(o, QStringLiteral("channels"), where, 1, 1, 100);
    m.diag = texts(o, QStringLiteral("diag"), where);
    m.extDiag = texts(o, QStringLiteral("extDiag"), where);
    m.messages = texts(o, QStringLiteral("messages"), where);
    m.hasMarker = o.contains(QStringLiteral("marker"));
    m.marker = text(o, QStringLiteral("marker"), where, QString());
    const QJsonArray params = o.value(QStringLiteral("params")).toArray();
    for (int i = 0; i < params.size(); ++i)
        m.params << readParam(params.at(i).toObject(), m.channels,
                              where + QStringLiteral(", parameter %1").arg(i));
    m.eeprom = texts(o, QStringLiteral("eeprom"), where);
    if (o.contains(QStringLiteral("console")))
        readConsole(o.value(QStringLiteral("console")).toObject(), m.console, where);
    m.console.enabled = m.console.enabled || m.kind == 'T';
    if (o.contains(QStringLiteral("pages")))
        readPages(o.value(QStringLiteral("pages")).toObject(), m.pages, baseDir, where);
    if (allowVariants) {
        const QJsonArray variants = o.value(QStringLiteral("variants")).toArray();
        for (int i = 0; i < variants.size(); ++i)
            m.variants << readModule(variants.at(i).toObject(), baseDir,
                                     where + QStringLiteral(", variant %1").arg(i + 1), false);
    } else if (o.contains(QStringLiteral("variants"))) {
        fail(where, QStringLiteral("a variant cannot have variants"));
    }
    checkModule(m, where);
    return m;
}

const QStringList moduleKeys = {
    QStringLiteral("type"),    QStringLiteral("version"),  QStringLiteral("serial"),
    QStringLiteral("kind"),    QStringLiteral("channels"), QStringLiteral("diag"),
    QStringLiteral("extDiag"), QStringLiteral("messages"), QStringLiteral("marker"),
    QStringLiteral("params"),  QStringLiteral("eeprom"),   QStringLiteral("console"),
    QStringLiteral("pages"),   QStringLiteral("variants")};

void readSlots(const QJsonArray& modules, const QString& baseDir, SimProfile& p) {
    for (const QJsonValue& v : modules) {
        const QJsonObject o = v.toObject();
        const QString first = QStringLiteral("module %1/%2")
                                  .arg(o.value(QStringLiteral("subrack")).toInt())
                                  .arg(o.value(QStringLiteral("slot")).toInt());
        checkKeys(o, moduleKeys + QStringList{QStringLiteral("subrack"), QStringLiteral("slot")},
                  first);
        SimSlotDef s;
        s.subrack = number(o, QStringLiteral("subrack"), first, 0, 1, 2) - 1;
        s.slot = number(o, QStringLiteral("slot"), first, 0, 1, 16) - 1;
        for (const SimSlotDef& other : p.modules)
            if (other.subrack == s.subrack && other.slot == s.slot)
                fail(first, QStringLiteral("the slot is given twice"));
        s.module = readModule(o, baseDir, first, true);
        p.modules << s;
    }
}

} // namespace

bool SimProfile::fromJson(const QByteArray& json, const QString& baseDir, SimProfile* out,
                          QString* error) {
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (!doc.isObject()) {
        if (error)
            *error = QStringLiteral("not a JSON object (%1 at offset %2)")
                         .arg(pe.errorString())
                         .arg(pe.offset);
        return false;
    }
    try {
        const QJsonObject o = doc.object();
        checkKeys(o,
                  {QStringLiteral("name"), QStringLiteral("resetMs"), QStringLiteral("latencyMs"),
                   QStringLiteral("pace"), QStringLiteral("modules"), QStringLiteral("special")},
                  QString());
        SimProfile p;
        p.name = text(o, QStringLiteral("name"), QString(), QString());
        p.resetMs = number(o, QStringLiteral("resetMs"), QString(), 1500, 0, 60000);
        p.latencyMs = number(o, QStringLiteral("latencyMs"), QString(), 2, 0, 10000);
        p.pace = o.value(QStringLiteral("pace")).toBool(false);
        readSlots(o.value(QStringLiteral("modules")).toArray(), baseDir, p);
        if (o.contains(QStringLiteral("special"))) {
            const QJsonObject so = o.value(QStringLiteral("special")).toObject();
            checkKeys(so, moduleKeys, QStringLiteral("special module"));
            p.special = readModule(so, baseDir, QStringLiteral("special module"), false);
            p.hasSpecial = true;
        }
        *out = p;
        return true;
    } catch (const ProfileError& e) {
        if (error)
            *error = e.text;
        return false;
    }
}

bool SimProfile::fromFile(const QString& path, SimProfile* out, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    QString why;
    if (!fromJson(f.readAll(), QFileInfo(path).absolutePath(), out, &why)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

static void initDemoResource() {
    Q_INIT_RESOURCE(sim_demo);
}

SimProfile demoProfile() {
    initDemoResource();
    SimProfile p;
    QString error;
    if (!SimProfile::fromFile(QStringLiteral(":/sim/demo.json"), &p, &error))
        qFatal("built-in demo profile is broken: %s", qPrintable(error));
    return p;
}
