#pragma once
// The message and progress channel between long work and whatever shows it.
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QFile;

namespace hx {

// Display elements: small interfaces the window or the terminal implements.
class MessageListElement {
public:
    virtual ~MessageListElement() = default;
    virtual void addEntry(const QString &text) = 0; // adds and selects the entry
};
class LabelElement {
public:
    virtual ~LabelElement() = default;
    virtual void setCaption(const QString &text) = 0;
    virtual void setVisible(bool visible) = 0;
};
class ProgressBarElement {
public:
    virtual ~ProgressBarElement() = default;
    virtual void setMinimum(int value) = 0;
    virtual void setMaximum(int value) = 0;
    virtual void setValue(int value) = 0;
    virtual void setVisible(bool visible) = 0;
};

// Lets the window repaint (and process clicks) during long work.
void setRepaintHook(std::function<void()> hook);
void letWindowRepaint();

class clsMessage {
public:
    clsMessage();
    ~clsMessage();
    clsMessage(const clsMessage &) = delete;
    clsMessage &operator=(const clsMessage &) = delete;

    bool blnLogMessages() const { return m_loggingOn; }
    void setBlnLogMessages(bool on);
    // Elements are not owned; nullptr detaches.
    void setLstUIMessageList(MessageListElement *list);
    void setProProgressBar(ProgressBarElement *bar);
    void setLblStatus(LabelElement *label);
    void setLblPercentage(LabelElement *label);

    bool blnIsProgress() const { return m_progressShown; }
    void setBlnIsProgress(bool shown);
    int16_t intProgressTotal() const { return m_total; }
    void setIntProgressTotal(int16_t total);
    int16_t intProgressValue() const { return m_value; }
    void setIntProgressValue(int16_t value);
    int32_t lngProgressTotal() const { return m_largeTotal; }
    void setLngProgressTotal(int32_t total);
    int32_t lngProgressValue() const { return m_largeValue; }
    void setLngProgressValue(int32_t value);
    QString strUIMessage() const { return m_status; }
    void setStrUIMessage(const QString &text);
    bool blnIsCancel() const { return m_cancel; }
    void setBlnIsCancel(bool cancel);
    bool blnCancelPressed() const { return m_cancel; }
    void setBlnCancelPressed(bool cancel) { setBlnIsCancel(cancel); }

    int16_t scaleDivisor() const { return m_divisor; }

private:
    void subUpdatePercentage();

    bool m_cancel = false;
    bool m_progressShown = false;
    int16_t m_total = 100;
    int16_t m_value = 1;
    QString m_status;
    MessageListElement *m_list = nullptr;
    ProgressBarElement *m_bar = nullptr;
    LabelElement *m_percentage = nullptr;
    LabelElement *m_statusLabel = nullptr;
    int16_t m_divisor = 1;
    int32_t m_largeValue = 0;
    int32_t m_largeTotal = 0;
    bool m_loggingOn = false;
    std::unique_ptr<QFile> m_log;
};

} // namespace hx
