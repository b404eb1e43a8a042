#include "transfers/TFormStartQueue.h"

TFormStartQueue::TFormStartQueue(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormStartQueue"));
    setWindowTitle(tr("Start Queue"));
    setModal(true);
}
