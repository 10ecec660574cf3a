#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the GUI thread, so that the
// program ends the same orderly way whatever stops it.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void Received();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
