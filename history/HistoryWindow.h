// The History window: the changes kept of the current machine's registry,
// one a row (when it was made, what made it, what it touched), the newest
// first and selected, with Undo and Close; below the list, the selected
// change whole, where its cells are cut short. Undo takes back the selected
// change; the undo is itself a change, the newest row once the list is read
// again. A change that Undo may not take back (something it wrote has been
// changed since, a running Wine that cannot be asked) is explained in a
// message box. The arrow keys move through the rows, Alt+U presses Undo and
// Escape closes the window, as Close does.
#pragma once

#include <QTreeWidget>
#include <cstddef>
#include <string>

#include "controls/commandbutton.h"
#include "controls/form.h"
#include "controls/label.h"

class HistoryWindow : public Form {
    Q_OBJECT

  public:
    explicit HistoryWindow(QWidget* owner = nullptr);

    Label* promptLabel;
    QTreeWidget* changeList;
    Label* detailLabel;
    CommandButton* undoButton;
    CommandButton* closeButton;

    // Where a row keeps its entry's id (in its first cell): the number of a
    // change moves on as changes are made, its id does not.
    static constexpr int kIdRole = Qt::UserRole;

    // Reads the history again, its newest change selected.
    void refresh();
    // Takes back the change of the current row.
    void undoSelected();
    void closeWindow();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // What the user reads when change `number` was not taken back: the
    // store's sentence, with the way to force it given as a command.
    static std::string refusal(const std::string& why, std::size_t number);
};
