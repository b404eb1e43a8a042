#include "transfers/TFormNewer.h"

TFormNewer::TFormNewer(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormNewer"));
    setWindowTitle(tr("Download if Newer"));
    setModal(true);
}
