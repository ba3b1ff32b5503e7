#include "app/VtScreen.h"

#include <array>
#include <vterm.h>

namespace {

// The classic console palette: the eight colours of the colour SGRs and their bright forms.
constexpr std::array<QRgb, 16> kPalette{
    qRgb(0, 0, 0),     qRgb(170, 0, 0),    qRgb(0, 170, 0),    qRgb(170, 85, 0),
    qRgb(0, 0, 170),   qRgb(170, 0, 170),  qRgb(0, 170, 170),  qRgb(170, 170, 170),
    qRgb(85, 85, 85),  qRgb(255, 85, 85),  qRgb(85, 255, 85),  qRgb(255, 255, 85),
    qRgb(85, 85, 255), qRgb(255, 85, 255), qRgb(85, 255, 255), qRgb(255, 255, 255)};

VTermColor vtColor(QRgb rgb) {
    VTermColor c;
    vterm_color_rgb(&c, qRed(rgb), qGreen(rgb), qBlue(rgb));
    return c;
}

VTermModifier vtModifiers(Qt::KeyboardModifiers m) {
    int mod = VTERM_MOD_NONE;
    if (m & Qt::ShiftModifier)
        mod |= VTERM_MOD_SHIFT;
    if (m & Qt::AltModifier)
        mod |= VTERM_MOD_ALT;
    if (m & Qt::ControlModifier)
        mod |= VTERM_MOD_CTRL;
    return VTermModifier(mod);
}

VTermKey vtKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Up:
        return VTERM_KEY_UP;
    case Qt::Key_Down:
        return VTERM_KEY_DOWN;
    case Qt::Key_Left:
        return VTERM_KEY_LEFT;
    case Qt::Key_Right:
        return VTERM_KEY_RIGHT;
    case Qt::Key_Insert:
        return VTERM_KEY_INS;
    case Qt::Key_Delete:
        return VTERM_KEY_DEL;
    case Qt::Key_Home:
        return VTERM_KEY_HOME;
    case Qt::Key_End:
        return VTERM_KEY_END;
    case Qt::Key_PageUp:
        return VTERM_KEY_PAGEUP;
    case Qt::Key_PageDown:
        return VTERM_KEY_PAGEDOWN;
    default:
        if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
            return VTermKey(VTERM_KEY_FUNCTION(qtKey - Qt::Key_F1 + 1));
        return VTERM_KEY_NONE;
    }
}

// Colour index of a cell colour: -1 default, -2 direct RGB, else the palette index.
int colorIndex(const VTermColor& c, bool foreground) {
    if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&c) : VTERM_COLOR_IS_DEFAULT_BG(&c))
        return -1;
    return VTERM_COLOR_IS_INDEXED(&c) ? c.indexed.idx : -2;
}

// A cell as the emulation holds it, colours resolved; the line's own attributes are the
// caller's.
VtCell fromVterm(VTermScreen* screen, VTermScreenCell c) {
    VtCell out;
    if (c.chars[0] == uint32_t(-1)) {
        out.width = 0;
    } else {
        for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i]; ++i)
            out.text += QString::fromUcs4(reinterpret_cast<const char32_t*>(&c.chars[i]), 1);
        out.width = c.width;
    }
    out.foregroundIndex = colorIndex(c.fg, true);
    out.backgroundIndex = colorIndex(c.bg, false);
    vterm_screen_convert_color_to_rgb(screen, &c.fg);
    vterm_screen_convert_color_to_rgb(screen, &c.bg);
    out.foreground = QColor(c.fg.rgb.red, c.fg.rgb.green, c.fg.rgb.blue);
    out.background = QColor(c.bg.rgb.red, c.bg.rgb.green, c.bg.rgb.blue);
    out.bold = c.attrs.bold;
    out.underline = c.attrs.underline != VTERM_UNDERLINE_OFF;
    out.italic = c.attrs.italic;
    out.blink = c.attrs.blink;
    out.reverse = c.attrs.reverse;
    out.strike = c.attrs.strike;
    return out;
}

} // namespace

// libvterm calls back through plain functions; these forward to the screen object.
struct VtCallbacks {
    static VtScreen* self(void* user) { return static_cast<VtScreen*>(user); }
    static int damage(VTermRect, void* user) {
        self(user)->m_dirty = true;
        return 1;
    }
    static int moveRect(VTermRect, VTermRect, void* user) {
        self(user)->m_dirty = true;
        return 1;
    }
    static int moveCursor(VTermPos, VTermPos, int, void* user) {
        self(user)->m_dirty = true;
        return 1;
    }
    static int setTermProp(VTermProp prop, VTermValue* value, void* user) {
        VtScreen* s = self(user);
        if (prop == VTERM_PROP_REVERSE)
            s->m_reversed = value->boolean;
        else if (prop == VTERM_PROP_CURSORVISIBLE)
            s->m_cursorVisible = value->boolean;
        else if (prop == VTERM_PROP_CURSORBLINK)
            s->m_cursorBlinks = value->boolean;
        s->m_dirty = true;
        return 1;
    }
    static int pushLine(int cols, const VTermScreenCell* cells, void* user) {
        QVector<VtCell> line;
        line.reserve(cols);
        for (int i = 0; i < cols; ++i)
            line << fromVterm(self(user)->m_screen, cells[i]);
        self(user)->keepLine(line);
        return 1;
    }
    static int bell(void* user) {
        Q_EMIT self(user)->bell();
        return 1;
    }
    static void output(const char* s, size_t len, void* user) {
        Q_EMIT self(user)->output(QByteArray(s, qsizetype(len)));
    }
};

namespace {
const VTermScreenCallbacks kScreenCallbacks = {VtCallbacks::damage,     VtCallbacks::moveRect,
                                               VtCallbacks::moveCursor, VtCallbacks::setTermProp,
                                               VtCallbacks::bell,       nullptr,
                                               VtCallbacks::pushLine,   nullptr};
} // namespace

VtScreen::VtScreen(int rows, int cols, QObject* parent)
    : QObject(parent), m_rows(rows), m_cols(cols) {
    m_vt = vterm_new(rows, cols);
    // The emulation is fed UTF-8 made from the line's 8-bit characters (see feed()).
    vterm_set_utf8(m_vt, 1);
    vterm_output_set_callback(m_vt, VtCallbacks::output, this);
    m_screen = vterm_obtain_screen(m_vt);
    vterm_screen_set_callbacks(m_screen, &kScreenCallbacks, this);
    setPalette();
    vterm_screen_reset(m_screen, 1);
}

VtScreen::~VtScreen() {
    vterm_free(m_vt);
}

void VtScreen::setPalette() {
    VTermState* state = vterm_obtain_state(m_vt);
    for (int i = 0; i < int(kPalette.size()); ++i) {
        VTermColor c = vtColor(kPalette[i]);
        vterm_state_set_palette_color(state, i, &c);
    }
    VTermColor fg = vtColor(kPalette[15]);
    VTermColor bg = vtColor(kPalette[0]);
    vterm_state_set_default_colors(state, &fg, &bg);
    vterm_state_set_bold_highbright(state, 1);
}

void VtScreen::feed(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    interpret(fromLine(bytes));
    vterm_screen_flush_damage(m_screen);
    if (m_dirty) {
        m_dirty = false;
        Q_EMIT changed();
    }
}

// The line carries 8-bit characters: C1 controls 0x80-0x9F, which are the same as ESC and a
// character 0x40 lower, and Latin-1 from 0xA0 up. Left to itself the emulation would show
// 0xA0-0xFF as their ASCII halves, so it gets both in their 7-bit and UTF-8 forms instead.
QByteArray VtScreen::fromLine(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar u = uchar(c);
        if (u < 0x80) {
            out += c;
        } else if (u < 0xA0) {
            out += '\x1b';
            out += char(u - 0x40);
        } else {
            out += char(0xC0 | (u >> 6));
            out += char(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// The grid keeps its 80 columns, but switching between 80 and 132 columns (DECCOLM) also
// clears the screen, resets the scrolling region and homes the cursor on a VT100, and
// programs count on that. The emulation leaves it out, so it is done here.
void VtScreen::interpret(const QByteArray& bytes) {
    static const QByteArray kColumnModeEffect("\x1b[r\x1b[H\x1b[2J");
    qsizetype from = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c == 0x1B) {
            m_scan = Scan::Escape;
        } else if (m_scan == Scan::Escape && c == '[') {
            m_scan = Scan::Csi;
        } else if (m_scan == Scan::Csi && c == '?') {
            m_scan = Scan::Private;
            m_params.clear();
        } else if (m_scan == Scan::Private && ((c >= '0' && c <= '9') || c == ';')) {
            m_params += c;
        } else {
            const bool hit = m_scan == Scan::Private && (c == 'h' || c == 'l') &&
                             m_params.split(';').contains("3");
            m_scan = Scan::Ground;
            if (hit) {
                vterm_input_write(m_vt, bytes.constData() + from, size_t(i + 1 - from));
                vterm_input_write(m_vt, kColumnModeEffect.constData(),
                                  size_t(kColumnModeEffect.size()));
                from = i + 1;
            }
        }
    }
    vterm_input_write(m_vt, bytes.constData() + from, size_t(bytes.size() - from));
}

void VtScreen::typeChar(char32_t c) {
    // One byte per character on this line: what does not fit a byte has no code to send.
    if (c < 0x100)
        Q_EMIT output(QByteArray(1, char(c)));
}

bool VtScreen::typeKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    const VTermKey key = vtKey(qtKey);
    if (key == VTERM_KEY_NONE)
        return false;
    vterm_keyboard_key(m_vt, key, vtModifiers(modifiers));
    return true;
}

VtCell VtScreen::cell(int row, int col) const {
    VTermScreenCell c{};
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols ||
        !vterm_screen_get_cell(m_screen, VTermPos{row, col}, &c))
        return VtCell();
    VtCell out = fromVterm(m_screen, c);
    // The line's own setting counts, not the pen the character was written with.
    const VTermLineInfo* line = vterm_state_get_lineinfo(vterm_obtain_state(m_vt), row);
    out.doubleWidthLine = line && line->doublewidth;
    out.doubleHeight = line ? line->doubleheight : 0;
    return out;
}

QString VtScreen::rowText(int row) const {
    return lineText(m_pushed + row);
}

void VtScreen::keepLine(const QVector<VtCell>& line) {
    m_history.push_back(line);
    ++m_pushed;
    if (m_history.size() > ScrollbackLines)
        m_history.pop_front();
}

VtCell VtScreen::cellAt(qint64 line, int col) const {
    if (line >= m_pushed)
        return cell(int(line - m_pushed), col);
    const qint64 i = line - firstLine();
    if (i < 0 || col < 0 || col >= m_history[size_t(i)].size())
        return VtCell();
    return m_history[size_t(i)][col];
}

QString VtScreen::lineText(qint64 line) const {
    return text(line, 0, line, m_cols - 1);
}

QString VtScreen::text(qint64 line, int col, qint64 toLine, int toCol) const {
    QString out;
    for (qint64 l = line; l <= toLine; ++l) {
        QString part;
        for (int c = l == line ? col : 0; c <= (l == toLine ? toCol : m_cols - 1); ++c) {
            const VtCell cell = cellAt(l, c);
            if (cell.width != 0)
                part += cell.text.isEmpty() ? QStringLiteral(" ") : cell.text;
        }
        while (part.endsWith(QLatin1Char(' ')))
            part.chop(1);
        out += part;
        if (l != toLine)
            out += QLatin1Char('\n');
    }
    return out;
}

QPoint VtScreen::cursor() const {
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(m_vt), &pos);
    return QPoint(pos.col, pos.row);
}
