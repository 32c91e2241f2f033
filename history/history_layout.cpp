// HistoryWindow's controls and rows; positions and sizes in twips.
#include <QDateTime>
#include <QHeaderView>
#include <vector>

#include "controls/twips.h"
#include "history/HistoryWindow.h"
#include "machine/machine.h"
#include "pictures/pictures.h"
#include "registry/catalogue_history.h"
#include "winreg/current_store.h"
#include "winreg/history.h"

namespace {

enum Column { kWhen, kMadeBy, kTouched };

QString joined(const std::vector<std::string>& parts) {
    QStringList out;
    for (const std::string& p : parts) out << QString::fromStdString(p);
    return out.join(QStringLiteral(", "));
}

QTreeWidgetItem* row(const history::Entry& e) {
    auto* item = new QTreeWidgetItem;
    item->setText(kWhen, QDateTime::fromSecsSinceEpoch(e.time).toString(
                             QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    item->setText(kMadeBy, QString::fromStdString(e.origin));
    item->setText(kTouched, joined(catalogue::describe(e)));
    item->setData(0, HistoryWindow::kIdRole, QVariant::fromValue<qint64>(e.id));
    // Both often longer than their columns: shown whole on hovering.
    item->setToolTip(kMadeBy, item->text(kMadeBy));
    item->setToolTip(kTouched, item->text(kTouched));
    return item;
}

// The machine as the prompt names it.
QString machineName() {
    const machine::Machine& on = machine::current();
    return on.isWinePrefix()
               ? QStringLiteral("the Wine prefix ") + QString::fromStdString(on.name())
               : QStringLiteral("your Knobwise machine");
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* owner)
    : Form(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                      Qt::MSWindowsFixedSizeDialogHint) {
    const machine::Machine& on = machine::current();
    setWindowTitle(on.isWinePrefix()
                       ? QStringLiteral("Knobwise History - ") + QString::fromStdString(on.name())
                       : QStringLiteral("Knobwise History"));
    setWindowIcon(pictures::windowIcon());
    setClientSize(12000, 4500);

    promptLabel = new Label(QString(), this);
    promptLabel->setGeometry(twips::rect(120, 120, 10380, 255));

    changeList = new QTreeWidget(this);
    changeList->setGeometry(twips::rect(120, 480, 10380, 2820));
    changeList->setAccessibleName(QStringLiteral("Changes"));
    changeList->setHeaderLabels(
        {QStringLiteral("When"), QStringLiteral("Made by"), QStringLiteral("What it changed")});
    changeList->setRootIsDecorated(false);
    changeList->setUniformRowHeights(true);
    changeList->setAllColumnsShowFocus(true);
    changeList->setSelectionMode(QAbstractItemView::SingleSelection);
    changeList->setSelectionBehavior(QAbstractItemView::SelectRows);
    changeList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    changeList->header()->setSectionsMovable(false);
    changeList->setColumnWidth(kWhen, twips::px(1800));
    changeList->setColumnWidth(kMadeBy, twips::px(4200));
    setTabIndex(changeList, 0);
    promptLabel->setBuddy(changeList);

    // The current row whole, where its cells are cut short.
    detailLabel = new Label(QString(), this);
    detailLabel->setGeometry(twips::rect(120, 3420, 10380, 960));

    undoButton = new CommandButton(QStringLiteral("&Undo"), this);
    undoButton->setGeometry(twips::rect(10620, 480, 1215, 375));
    setTabIndex(undoButton, 1);
    closeButton = new CommandButton(QStringLiteral("Close"), this);
    closeButton->setGeometry(twips::rect(10620, 960, 1215, 375));
    setTabIndex(closeButton, 2);
    applyTabIndexes();

    connect(changeList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        detailLabel->setCaption(current ? current->text(kWhen) + QStringLiteral(", ") +
                                              current->text(kMadeBy) + QStringLiteral(":\n") +
                                              current->text(kTouched)
                                        : QString());
    });
    connect(undoButton, &CommandButton::Click, this, &HistoryWindow::undoSelected);
    connect(closeButton, &CommandButton::Click, this, &HistoryWindow::closeWindow);
    refresh();
}

void HistoryWindow::refresh() {
    changeList->clear();
    std::vector<history::Entry> entries;
    QString problem;
    if (regstore::Store* store = regstore::current()) {
        try {
            entries = store->history();
        } catch (const regstore::Error& e) {
            problem = QString::fromStdString(e.what());
        }
    } else {
        problem = QStringLiteral("The registry of %1 cannot be read.").arg(machineName());
    }
    for (const history::Entry& e : entries) changeList->addTopLevelItem(row(e));

    if (!problem.isEmpty()) {
        promptLabel->setCaption(problem);
    } else if (entries.empty()) {
        promptLabel->setCaption(
            QStringLiteral("No change to %1 has been kept.").arg(machineName()));
    } else {
        promptLabel->setCaption(
            QStringLiteral("The changes made to %1, the newest first:").arg(machineName()));
    }
    const bool any = !entries.empty();
    changeList->setEnabled(any);
    undoButton->setEnabled(any);
    if (any) {
        changeList->setCurrentItem(changeList->topLevelItem(0));
    } else {
        closeButton->setFocus();
    }
}
