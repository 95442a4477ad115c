// A small modeless dialog with a gradient progress bar and a Cancel button, shown while a timed
// capture runs. The owner sets the position and polls IsCancelled; the dialog tells it nothing.
//
// Threads: the dialog belongs to the UI thread. SetPos, SetCancelled, IsCancelled, EnableCancel,
// SetFlag and ShowWindow may also be called from one other thread (a capture thread) as often as
// it likes: they only write atomic state, and the widgets are brought up to date by one queued
// call on the UI thread however many requests arrive before it runs. The caller keeps the dialog
// alive until that thread has stopped calling it.
#pragma once

#include <QDialog>
#include <QString>

#include <atomic>

class CGradientProgressCtrl;
class QPushButton;

class CProgressDialog : public QDialog {
public:
    static constexpr int IDD = 180;
    static constexpr int IDC_PROGRESS = 1229;
    static constexpr int IDC_CANCEL = 1093;
    // ShowWindow commands.
    static constexpr int SW_HIDE = 0;
    static constexpr int SW_SHOWNORMAL = 1;
    static constexpr int SW_SHOW = 5;
    static constexpr int SW_SHOWNA = 8;

    explicit CProgressDialog(QWidget* parent = nullptr);
    ~CProgressDialog() override;

    // UI thread. "Complete" and "Interval Complete" get ": %d%%" appended; other texts are kept.
    void SetText(const QString& text);
    QString GetText() const { return m_text; }
    // UI thread: builds the widgets and shows the dialog centred on its parent.
    bool Create(QWidget* parent);
    // UI thread: destroys the window (the object stays until its owner deletes it).
    void Close();
    bool IsCreated() const { return m_created.load(); }
    // UI thread. An upper bound <= 0 becomes 1.
    void SetRange(int lower, int upper);
    void GetRange(int* lower, int* upper) const;

    // Any thread.
    void SetPos(int pos);
    void SetFlag(int value) { m_flag.store(value); }
    int GetFlag() const { return m_flag.load(); }
    void EnableCancel(bool enabled) { m_cancelEnabled.store(enabled); }
    void SetCancelled(bool value) { m_cancelled.store(value); }
    bool IsCancelled() const { return m_cancelled.load(); }
    // Returns whether the dialog was visible (or asked to be) before.
    bool ShowWindow(int command);

    // UI thread; null while the window does not exist.
    CGradientProgressCtrl* Bar() const { return m_bar; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    // Escape, Enter and the window manager never close it: only Close does.
    void reject() override {}
    void accept() override {}
    void closeEvent(QCloseEvent* e) override;

private:
    bool OnUiThread() const;
    void RequestUpdate();
    void ApplyPending();
    void InitBar();
    void OnCancelClicked();

    QString m_text;
    int m_lower = 0;
    int m_upper = 100;
    int m_step = 10;
    CGradientProgressCtrl* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;

    std::atomic<int> m_flag{0};
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_cancelEnabled{false};
    std::atomic<bool> m_created{false};
    std::atomic<int> m_pos{0};
    std::atomic<bool> m_posPending{false};
    std::atomic<int> m_showPending{-1};
    std::atomic<bool> m_visibleWanted{false};
    // Set while one update is queued on the UI thread; further requests ride on it.
    std::atomic<bool> m_updateQueued{false};
};
