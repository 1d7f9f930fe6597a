#include "ModalWindowCloser.h"

#include <QAbstractButton>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>

ModalWindowCloser::ModalWindowCloser(QObject* parent)
    : QObject(parent)
{
}

bool ModalWindowCloser::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog && dialog->isWindow()) {
            QPointer<QDialog> shown(dialog);
            QTimer::singleShot(0, this, [this, shown] {
                if (shown && shown->isVisible())
                    end(shown);
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void ModalWindowCloser::end(QDialog* dialog)
{
    ++m_closed;
    // The windows' own buttons, so their own closing logic runs (the
    // signing window refuses any other close).
    for (const char* name : {"btnCancel", "closeCamBtn"}) {
        if (auto* button = dialog->findChild<QAbstractButton*>(QLatin1String(name))) {
            button->click();
            return;
        }
    }
    dialog->reject();
}
