#include "messages/clsMessage.h"

#include "component/Clock.h"
#include "component/DateTime.h"
#include "component/Numbers.h"
#include "component/modGlobal.h"
#include "messages/LogFiles.h"

#include <QFile>
#include <algorithm>

namespace hx {
namespace {
std::function<void()> &repaintHook() {
    static std::function<void()> hook;
    return hook;
}

void reportMember(const QString &member, const QString &description) {
    subReportError(QStringLiteral("clsMessage"), QString(), member, QString(), HxError(description));
}
} // namespace

void setRepaintHook(std::function<void()> hook) {
    repaintHook() = std::move(hook);
}

void letWindowRepaint() {
    if (repaintHook()) repaintHook()();
}

clsMessage::clsMessage() = default;

clsMessage::~clsMessage() {
    setStrUIMessage(QString());
    setBlnIsProgress(false);
    m_list = nullptr;
    m_bar = nullptr;
    m_statusLabel = nullptr;
    setBlnLogMessages(false);
}

void clsMessage::setBlnLogMessages(bool on) {
    if (on && !m_loggingOn) {
        auto f =
            std::make_unique<QFile>(strJoinPath(strGetApplicationPath(), QStringLiteral("MessageLog.txt")));
        if (!f->open(QIODevice::WriteOnly | QIODevice::Append)) {
            reportMember(QStringLiteral("Let blnLogMessages"), f->errorString());
            return;
        }
        m_log = std::move(f);
        m_loggingOn = true;
    } else if (!on && m_loggingOn) {
        m_log->close();
        m_log.reset();
        m_loggingOn = false;
    }
}

void clsMessage::setLstUIMessageList(MessageListElement *list) {
    m_list = list;
}

void clsMessage::setProProgressBar(ProgressBarElement *bar) {
    m_bar = bar;
    if (m_bar) {
        m_bar->setMinimum(0);
        m_bar->setMaximum(m_total);
        m_bar->setValue(m_value);
        m_bar->setVisible(m_progressShown);
    }
}

void clsMessage::setLblStatus(LabelElement *label) {
    m_statusLabel = label;
    if (m_statusLabel) m_statusLabel->setCaption(m_status);
}

void clsMessage::setLblPercentage(LabelElement *label) {
    m_percentage = label;
    if (m_percentage) m_percentage->setVisible(m_progressShown);
    subUpdatePercentage();
}

void clsMessage::setBlnIsProgress(bool shown) {
    m_progressShown = shown;
    if (m_bar) {
        m_bar->setMinimum(0);
        m_bar->setMaximum(m_total);
        m_bar->setVisible(shown);
    }
    if (m_percentage) m_percentage->setVisible(shown);
    subUpdatePercentage();
}

void clsMessage::setIntProgressTotal(int16_t total) {
    if (total <= 0) return;
    m_total = total;
    if (m_value > m_total) m_value = m_total;
    if (m_bar) m_bar->setMaximum(m_total);
    subUpdatePercentage();
}

void clsMessage::setIntProgressValue(int16_t value) {
    m_value = value > m_total ? m_total : value;
    if (m_bar) m_bar->setValue(m_value);
    letWindowRepaint();
    subUpdatePercentage();
}

namespace {
// The 16-bit counterpart of a large number: at most 32768 by the divisor rule,
// which a 16-bit value cannot hold; the top step is shown as full.
int16_t scaled(int32_t large, int16_t divisor) {
    int32_t v = large / divisor;
    if (v > 32767) v = 32767;
    if (v < -32768) v = -32768;
    return static_cast<int16_t>(v);
}

// The smallest divisor, not below the present one, that brings the large
// number under 32769.
bool grow(int32_t large, int16_t &divisor) {
    const int32_t needed = std::min<int32_t>(large / 32769 + 1, 32767);
    if (needed <= divisor) return false;
    divisor = static_cast<int16_t>(needed);
    return true;
}
} // namespace

void clsMessage::setLngProgressTotal(int32_t total) {
    m_largeTotal = total;
    const bool grew = grow(total, m_divisor);
    setIntProgressTotal(scaled(total, m_divisor));
    if (grew) setIntProgressValue(scaled(m_largeValue, m_divisor));
}

void clsMessage::setLngProgressValue(int32_t value) {
    m_largeValue = value;
    const bool grew = grow(value, m_divisor);
    if (grew) setIntProgressTotal(scaled(m_largeTotal, m_divisor));
    setIntProgressValue(scaled(value, m_divisor));
}

void clsMessage::setStrUIMessage(const QString &text) {
    m_status = text;
    if (m_list) {
        m_list->addEntry(text);
        letWindowRepaint();
    }
    if (m_statusLabel) {
        m_statusLabel->setCaption(text);
        letWindowRepaint();
    }
    if (m_loggingOn && m_log) {
        // The text goes in the next print zone (zones are 14 columns wide).
        const QString stamp = formatGeneralDate(Clock::nowSerial());
        const int len = stamp.size();
        const int zoneStart = (len % 14 == 0) ? len + 1 : (len / 14 + 1) * 14 + 1;
        const QString line =
            stamp + QString(zoneStart - (len + 1), QLatin1Char(' ')) + text + QStringLiteral("\r\n");
        m_log->write(line.toUtf8());
        m_log->flush();
    }
}

void clsMessage::setBlnIsCancel(bool cancel) {
    if (!m_cancel) m_cancel = cancel;
}

void clsMessage::subUpdatePercentage() {
    if (!m_percentage) return;
    const double max = m_total;
    double percent = max > 0 ? roundHalfEven(static_cast<double>(m_value) / max * 100.0) : 0;
    // Kept to 0..100 also so that the conversion to int cannot overflow.
    percent = std::clamp(percent, 0.0, 100.0);
    m_percentage->setCaption(QString::number(static_cast<int>(percent)) + QLatin1Char('%'));
    letWindowRepaint();
}

} // namespace hx
