#include "sim/SimConsole.h"

#include "sim/SimCodec.h"
#include "sim/SimModule.h"

namespace {

constexpr int MaxLine = 60;

const char* const reset = "\x1b[0m";

QByteArray colour(const char* code, const QByteArray& text) {
    return QByteArray("\x1b[") + code + 'm' + text + reset;
}

QByteArray helpText() {
    return "Commands:\r\n"
           "  help     this text\r\n"
           "  status   module status\r\n"
           "  show     parameter values\r\n"
           "  image    EEPROM image\r\n"
           "  colors   colour test\r\n"
           "  meter    input levels\r\n"
           "  clear    clear the screen\r\n"
           "  exit     end the console\r\n";
}

QByteArray statusText(const SimModule& m) {
    QByteArray out = colour("1", m.def().type.toLatin1()) + "  " +
                     m.def().version.value(m.def().version.size() - 1).toLatin1() + "\r\n";
    for (const QString& s : m.def().console.status) {
        QByteArray line = s.toLatin1();
        if (line.startsWith("OK "))
            line = colour("32", "OK  ") + line.mid(3);
        else if (line.startsWith("WARN "))
            line = colour("33", "WARN") + line.mid(4);
        else if (line.startsWith("FAIL "))
            line = colour("1;31", "FAIL") + line.mid(4);
        out += line + "\r\n";
    }
    return out;
}

QByteArray showText(const SimModule& m) {
    QByteArray out;
    const auto& params = m.def().params;
    for (int i = 0; i < params.size(); ++i) {
        const SimParamDef& p = params.at(i);
        if (p.type == 'T')
            continue;
        out += colour("36", p.name.toLatin1().leftJustified(18, ' ')) + ' ' +
               p.display(m.value(i, m.channel())).toLatin1() + "\r\n";
    }
    return out.isEmpty() ? QByteArray("No parameters.\r\n") : out;
}

QByteArray imageText(const SimModule& m) {
    const QStringList image = m.eeprom();
    QByteArray out = "EEPROM image, " + QByteArray::number(image.size()) + " lines\r\n";
    for (int i = 0; i < image.size() && i < 8; ++i)
        out += colour("33", QByteArray::number(i).rightJustified(3, ' ')) + ' ' +
               image.at(i).toLatin1() + "\r\n";
    if (image.size() > 8)
        out += "  ...\r\n";
    return out;
}

QByteArray coloursText() {
    static const char* const names[] = {"black", "red",     "green", "yellow",
                                        "blue",  "magenta", "cyan",  "white"};
    QByteArray out;
    for (int bold = 0; bold < 2; ++bold) {
        for (int c = 0; c < 8; ++c) {
            const QByteArray code = (bold ? "1;" : "") + QByteArray::number(30 + c);
            out += colour(code.constData(), QByteArray(names[c]).leftJustified(8, ' '));
        }
        out += "\r\n";
    }
    return out + colour("7", " reverse ") + ' ' + colour("4", "underline") + "\r\n";
}

} // namespace

QByteArray SimConsole::prompt(const SimModule& module) const {
    return colour("1;32", module.def().console.prompt.toLatin1());
}

QByteArray SimConsole::open(const SimModule& module) {
    m_open = true;
    m_etx = false;
    m_line.clear();
    const SimConsoleDef& c = module.def().console;
    const QByteArray banner =
        c.banner.isEmpty() ? module.def().type.toLatin1() : c.banner.toLatin1();
    return "\x1b[2J\x1b[H" + colour("1;36", banner) + "\r\nType help for commands.\r\n" +
           prompt(module);
}

// Bars drawn in place: the labels first, then the cursor goes back up and right to paint
// each bar, which is what a terminal emulation has to get right.
QByteArray SimConsole::meter() {
    static const char* const labels[] = {"IN 1", "IN 2", "IN 3", "IN 4"};
    QByteArray out = "Input levels (dBuV)\r\n";
    for (const char* l : labels)
        out += QByteArray(l) + " |\r\n";
    out += "\x1b[4A";
    ++m_meterTick;
    for (int i = 0; i < 4; ++i) {
        const int level = 8 + (i * 7 + m_meterTick * 5) % 24;
        const char* c = level > 26 ? "31" : level > 18 ? "33" : "32";
        out += "\r\x1b[6C" + colour(c, QByteArray(level, '#')) + ' ' +
               QByteArray::number(60 + level) + "\x1b[1B";
    }
    return out + "\r";
}

QByteArray SimConsole::run(const QByteArray& line, const SimModule& module, State* state) {
    const QByteArray cmd = line.trimmed().toLower();
    if (cmd.isEmpty())
        return {};
    if (cmd == "help")
        return helpText();
    if (cmd == "status")
        return statusText(module);
    if (cmd == "show")
        return showText(module);
    if (cmd == "image")
        return imageText(module);
    if (cmd == "colors" || cmd == "colours")
        return coloursText();
    if (cmd == "meter")
        return meter();
    if (cmd == "clear")
        return "\x1b[2J\x1b[H";
    if (cmd == "exit" || cmd == "quit") {
        m_open = false;
        *state = State::Ended;
        return "Console closed.\r\n" + QByteArray(1, SimCodec::EOT);
    }
    return "Unknown command: " + line.trimmed() + ". Type help.\r\n";
}

QByteArray SimConsole::key(char byte, const SimModule& module, State* state) {
    *state = State::Open;
    if (m_etx && byte == SimCodec::CR) {
        m_open = false;
        *state = State::Closed;
        return {};
    }
    m_etx = byte == SimCodec::ETX;
    const quint8 b = static_cast<quint8>(byte);
    if (byte == SimCodec::CR) {
        const QByteArray line = m_line;
        m_line.clear();
        QByteArray out = "\r\n" + run(line, module, state);
        return *state == State::Open ? out + prompt(module) : out;
    }
    if (b == 8 || b == 127) {
        if (m_line.isEmpty())
            return {};
        m_line.chop(1);
        return "\b \b";
    }
    if ((b >= 0x20 && b < 0x7F) || b >= 0xA0) {
        if (m_line.size() >= MaxLine)
            return "\a";
        m_line += byte;
        return QByteArray(1, byte);
    }
    return {}; // cursor keys and other control bytes have no use in this shell
}
