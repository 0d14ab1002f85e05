#pragma once

#include <QObject>
#include <QPointer>

class SkinControl;

// Companion of the skin engine: attached to it and started at start-up,
// stopped at shut-down. While it runs, every top-level window or dialog of
// the program that is not yet skinned is skinned as it appears, so that
// windows the program does not skin itself (file dialogs, message boxes)
// match the others.
class SkinHelper : public QObject {
    Q_OBJECT
public:
    explicit SkinHelper(QObject *parent = nullptr);
    void attach(SkinControl *skin);
    void start();
    void stop();

    bool isRunning() const { return m_running; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<SkinControl> m_skin;
    bool m_running = false;
};
