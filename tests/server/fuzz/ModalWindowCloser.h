#pragma once

#include <QObject>

// Ends every window that a command runs modally as soon as it shows, the way
// an operator who cancels at once would: the signing window by its Cancel
// button, the camera window by its close button, any other dialog (a
// message box) by rejecting it. The press comes from a zero-timer, so it
// runs inside the window's own event loop, after the command has set the
// window up; the command then answers exactly as it does for a person.
class ModalWindowCloser : public QObject {
    Q_OBJECT
public:
    explicit ModalWindowCloser(QObject* parent = nullptr);

    // Windows ended so far.
    int closed() const { return m_closed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void end(class QDialog* dialog);
    int m_closed = 0;
};
