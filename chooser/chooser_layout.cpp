// PrefixChooser's controls; positions and sizes in twips.
#include <QHeaderView>

#include "chooser/PrefixChooser.h"
#include "controls/twips.h"
#include "pictures/pictures.h"

namespace {

enum Column { kName, kSource, kFolder, kWine };

QTreeWidgetItem* row(const prefixes::Prefix& p) {
    auto* item = new QTreeWidgetItem;
    item->setText(kName, QString::fromStdString(p.name));
    item->setText(kSource, QString::fromUtf8(prefixes::sourceName(p.source)));
    item->setText(kFolder, QString::fromStdString(p.path.string()));
    item->setText(kWine, p.wineRunning ? QStringLiteral("Running") : QStringLiteral("Not running"));
    // The folder, often longer than its column, shown whole on hovering.
    item->setToolTip(kFolder, item->text(kFolder));
    return item;
}

}  // namespace

PrefixChooser::PrefixChooser(std::vector<prefixes::Prefix> found, Opener open, QWidget* owner)
    : Form(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                      Qt::MSWindowsFixedSizeDialogHint),
      found_(std::move(found)),
      open_(std::move(open)) {
    setWindowTitle(QStringLiteral("Knobwise"));
    setWindowIcon(pictures::windowIcon());
    setClientSize(10500, 4500);

    promptLabel =
        new Label(found_.empty() ? QStringLiteral("No Wine prefix was found on this computer. "
                                                  "Pick one with \"Other folder...\".")
                                 : QStringLiteral("Choose the Wine prefix to work on:"),
                  this);
    promptLabel->setGeometry(twips::rect(120, 120, 8880, 255));

    prefixList = new QTreeWidget(this);
    prefixList->setGeometry(twips::rect(120, 480, 8880, 3900));
    prefixList->setAccessibleName(QStringLiteral("Wine prefixes"));
    prefixList->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Found by"),
                                 QStringLiteral("Folder"), QStringLiteral("Wine")});
    prefixList->setRootIsDecorated(false);
    prefixList->setUniformRowHeights(true);
    prefixList->setTextElideMode(Qt::ElideMiddle);
    prefixList->setAllColumnsShowFocus(true);
    prefixList->setSelectionMode(QAbstractItemView::SingleSelection);
    prefixList->setSelectionBehavior(QAbstractItemView::SelectRows);
    prefixList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    prefixList->header()->setSectionsMovable(false);
    for (const prefixes::Prefix& p : found_) prefixList->addTopLevelItem(row(p));
    prefixList->setColumnWidth(kName, twips::px(2400));
    prefixList->setColumnWidth(kSource, twips::px(1080));
    prefixList->setColumnWidth(kFolder, twips::px(3750));
    setTabIndex(prefixList, 0);
    promptLabel->setBuddy(prefixList);

    okButton = new CommandButton(QStringLiteral("OK"), this);
    okButton->setGeometry(twips::rect(9120, 480, 1215, 375));
    setTabIndex(okButton, 1);
    cancelButton = new CommandButton(QStringLiteral("Cancel"), this);
    cancelButton->setGeometry(twips::rect(9120, 960, 1215, 375));
    setTabIndex(cancelButton, 2);
    otherFolderButton = new CommandButton(QStringLiteral("&Other folder..."), this);
    otherFolderButton->setGeometry(twips::rect(9120, 1440, 1215, 375));
    setTabIndex(otherFolderButton, 3);
    applyTabIndexes();

    if (found_.empty()) {
        prefixList->setEnabled(false);
        okButton->setEnabled(false);
        otherFolderButton->setFocus();
    } else {
        prefixList->setCurrentItem(prefixList->topLevelItem(0));
    }
    // Type-ahead looks in the column of the current cell: it stays on the
    // names, wherever the row was clicked.
    connect(prefixList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.column() != kName)
                    prefixList->selectionModel()->setCurrentIndex(current.siblingAtColumn(kName),
                                                                  QItemSelectionModel::NoUpdate);
            });
    connect(prefixList, &QTreeWidget::itemDoubleClicked, this, &PrefixChooser::openCurrentRow);
    connect(okButton, &CommandButton::Click, this, &PrefixChooser::openCurrentRow);
    connect(cancelButton, &CommandButton::Click, this, &PrefixChooser::cancel);
    connect(otherFolderButton, &CommandButton::Click, this, &PrefixChooser::openOtherFolder);
}
