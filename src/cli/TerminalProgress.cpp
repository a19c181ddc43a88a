#include "cli/TerminalProgress.h"

#include <cmath>
#include <sys/ioctl.h>
#include <unistd.h>

namespace hx::cli {
namespace {
// The display that currently owns the bottom line of its stream.
TerminalProgress *g_live = nullptr;
} // namespace

void eraseLiveLine() {
    if (g_live) g_live->erase();
}

TerminalProgress::TerminalProgress() : TerminalProgress(Options()) {}

TerminalProgress::TerminalProgress(Options options) : m_options(options) {
    m_bar.owner = this;
    m_status.owner = this;
    g_live = this;
}

TerminalProgress::~TerminalProgress() {
    erase();
    if (g_live == this) g_live = nullptr;
}

void TerminalProgress::attach(clsMessage &channel) {
    channel.setLblStatus(status());
    channel.setProProgressBar(bar());
}

void TerminalProgress::detach(clsMessage &channel) {
    channel.setLblStatus(nullptr);
    channel.setProProgressBar(nullptr);
}

void TerminalProgress::Bar::setMinimum(int value) {
    if (owner->m_min != value) {
        owner->m_min = value;
        owner->changed(false);
    }
}
void TerminalProgress::Bar::setMaximum(int value) {
    if (owner->m_max != value) {
        owner->m_max = value;
        owner->changed(false);
    }
}
void TerminalProgress::Bar::setValue(int value) {
    if (owner->m_value != value) {
        owner->m_value = value;
        owner->changed(false);
    }
}
void TerminalProgress::Bar::setVisible(bool visible) {
    if (owner->m_barVisible != visible) {
        owner->m_barVisible = visible;
        owner->changed(true);
    }
}
void TerminalProgress::Status::setCaption(const QString &text) {
    if (owner->m_caption != text) {
        owner->m_caption = text;
        owner->changed(true);
    }
}
void TerminalProgress::Status::setVisible(bool visible) {
    if (owner->m_statusVisible != visible) {
        owner->m_statusVisible = visible;
        owner->changed(true);
    }
}

void TerminalProgress::changed(bool urgent) {
    const auto now = std::chrono::steady_clock::now();
    if (!urgent && m_shown && now - m_lastDraw < m_options.interval) return;
    m_lastDraw = now;
    draw();
}

int TerminalProgress::columns() const {
    if (m_options.width > 0) return m_options.width;
    winsize ws{};
    if (ioctl(fileno(m_options.out), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

QString TerminalProgress::render() const {
    // One column is kept free so that the cursor never wraps to a new line.
    const int width = std::max(columns() - 1, 10);
    QString tail;
    if (m_barVisible) {
        // In 64 bits: the range of two 32-bit bounds does not fit in 32.
        const qint64 span = qint64(m_max) - m_min;
        double fraction = span > 0 ? double(qint64(m_value) - m_min) / double(span) : 0.0;
        fraction = std::clamp(fraction, 0.0, 1.0);
        const int percent = static_cast<int>(std::floor(fraction * 100.0));
        const int cells = std::clamp(width / 4, 10, 40);
        const int full = static_cast<int>(std::floor(fraction * cells));
        tail = QStringLiteral(" [") + QString(full, QLatin1Char('#')) +
               QString(cells - full, QLatin1Char('.')) + QStringLiteral("] ") +
               QStringLiteral("%1%").arg(percent, 3);
    }
    QString text = m_statusVisible ? m_caption.simplified() : QString();
    const int room = width - int(tail.size());
    if (room <= 0) return tail.right(width);
    if (text.size() > room) text = room > 3 ? text.left(room - 3) + QStringLiteral("...") : text.left(room);
    if (!tail.isEmpty()) text = text.leftJustified(room, QLatin1Char(' '));
    return text + tail;
}

void TerminalProgress::draw() {
    const QString line = render();
    if (m_shown && line == m_lastDrawn) return;
    if (line.trimmed().isEmpty()) {
        erase();
        return;
    }
    // Carriage return, the line, then clear whatever a longer line left.
    const QByteArray bytes = "\r" + line.toLocal8Bit() + "\033[K";
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_options.out);
    std::fflush(m_options.out);
    m_shown = true;
    m_lastDrawn = line;
}

void TerminalProgress::erase() {
    if (!m_shown) return;
    std::fputs("\r\033[K", m_options.out);
    std::fflush(m_options.out);
    m_shown = false;
    m_lastDrawn.clear();
}

} // namespace hx::cli
