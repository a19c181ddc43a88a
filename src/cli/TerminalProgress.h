#pragma once
// The command-line host's progress display: one status line at the bottom of
// the terminal, redrawn in place with a carriage return, showing the channel's
// status text, a bar and the percentage. Redraws of the bar are throttled, so
// work that sets the progress once per record pays next to nothing for it.
#include "messages/clsMessage.h"

#include <QString>
#include <chrono>
#include <cstdio>

namespace hx::cli {

// Erases the live status line if one is shown, so that other output to the
// terminal starts on a clean line; the next progress update draws it again.
void eraseLiveLine();

class TerminalProgress {
public:
    struct Options {
        std::FILE *out = stderr;
        // Columns of the terminal; 0 asks the terminal (80 when it cannot tell).
        int width = 0;
        // Least time between two redraws caused by a new progress value.
        std::chrono::milliseconds interval{100};
    };
    TerminalProgress();
    explicit TerminalProgress(Options options);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    // The elements to attach to a channel.
    ProgressBarElement *bar() { return &m_bar; }
    LabelElement *status() { return &m_status; }

    // Attaches both elements to the channel (and detaches them on nullptr).
    void attach(clsMessage &channel);
    static void detach(clsMessage &channel);

    // Removes the line from the screen.
    void erase();
    // The line as it would be drawn now (without the carriage return).
    QString render() const;

private:
    struct Bar : ProgressBarElement {
        TerminalProgress *owner = nullptr;
        void setMinimum(int value) override;
        void setMaximum(int value) override;
        void setValue(int value) override;
        void setVisible(bool visible) override;
    };
    struct Status : LabelElement {
        TerminalProgress *owner = nullptr;
        void setCaption(const QString &text) override;
        void setVisible(bool visible) override;
    };

    void changed(bool urgent);
    void draw();
    int columns() const;

    Options m_options;
    Bar m_bar;
    Status m_status;
    int m_min = 0, m_max = 100, m_value = 0;
    bool m_barVisible = false;
    bool m_statusVisible = true;
    QString m_caption;
    bool m_shown = false;
    QString m_lastDrawn;
    std::chrono::steady_clock::time_point m_lastDraw{};
};

} // namespace hx::cli
