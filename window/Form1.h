// The main window: six pages of settings above a row of buttons. It reads
// the settings in force when it loads and writes them back on Apply or OK.
#pragma once

#include <QVariant>
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "controls/checkbox.h"
#include "controls/commandbutton.h"
#include "controls/commondialog.h"
#include "controls/explorerlist.h"
#include "controls/form.h"
#include "controls/frame.h"
#include "controls/image.h"
#include "controls/label.h"
#include "controls/picturebox.h"
#include "controls/sstab.h"
#include "controls/textbox.h"

class Form1 : public Form {
    Q_OBJECT

  public:
    // The maker's web address, opened by both link labels.
    static constexpr const char* kWebAddress = "https://www.example.com/vantrell";

    explicit Form1(QWidget* parent = nullptr);

    // Writes the page controls back, setting by setting.
    void savesettings();

    // Apply, OK and Cancel.
    void Command1_Click();
    void Command9_Click();
    void Command8_Click();

    // The "Create as file" buttons of "System Folders".
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();

    // Browse for the toolbar background; switch on the Hearts cheat.
    void Command6_Click();
    void Command7_Click();

    // Opens a document or web address through the shell and returns the
    // shell's result (greater than 32 on success).
    std::int32_t StartDoc(const QString& DocName);
    // Help and the two link labels.
    void Command10_Click();
    void Label6_Click();
    void Label9_Click();
    // Mouse moves that light the link labels up and put them back.
    void Label6_MouseMove(int Button, int Shift, float X, float Y);
    void Label9_MouseMove(int Button, int Shift, float X, float Y);
    void Form_MouseMove(int Button, int Shift, float X, float Y);
    void SSTab1_MouseMove(int Button, int Shift, float X, float Y);

    // The tabbed pages and the button row.
    SSTab* SSTab1;
    Label* Label9;
    CommandButton* Command10;
    CommandButton* Command9;
    CommandButton* Command8;
    CommandButton* Command1;
    CommonDialog CommonDialog1;

    // "Info Tips"
    TextBox* Text1;
    TextBox* Text2;
    TextBox* Text3;
    TextBox* Text4;
    TextBox* Text5;
    TextBox* Text6;
    PictureBox* Picture1;
    PictureBox* Picture2;
    PictureBox* Picture3;
    PictureBox* Picture4;
    PictureBox* Picture5;
    PictureBox* Picture6;
    CheckBox* Check1;

    // "Internet Explorer"
    Frame* Frame5;
    Image* Image6;
    Label* Label7;
    CommandButton* Command6;
    CheckBox* Check6;

    // "Boot"
    Frame* Frame1;
    Label* Label1;
    TextBox* Text7;
    Label* Label2;
    TextBox* Text8;
    CheckBox* Check2;
    Label* Label3;
    Frame* Frame3;
    ExplorerList* ExplorerList1;

    // "System Folders"
    Image* Image1;
    Image* Image2;
    Image* Image3;
    Image* Image4;
    CommandButton* Command2;
    CommandButton* Command3;
    CommandButton* Command4;
    CommandButton* Command5;

    // "Misc"
    Frame* Frame2;
    Image* Image5;
    CheckBox* Check3;
    Frame* Frame4;
    CheckBox* Check4;
    CheckBox* Check5;
    Frame* Frame6;
    CommandButton* Command7;
    Label* Label8;

    // "About"
    Label* Label4;
    Label* Label5;
    Label* Label6;
    Label* Label10;

    // The icon file of each row of "Info Tips", kept from drawicons on.
    QVariant iconfile1;
    QVariant iconfile2;
    QVariant iconfile3;
    QVariant iconfile4;
    QVariant iconfile5;
    QVariant iconfile6;

  protected:
    void Form_Load() override;

  private:
    void drawicons();
    void gettips();
    void boot();
    void showabout();
    void loadbackbitmap();
    // savesettings() as one batch of the registry, with the settings it did
    // not save told.
    bool applySettings();

    // What Apply writes for each setting as the controls stand, by the
    // setting's label; and what it was when the window loaded, or when
    // Apply last saved it. The settings the user changed are those that
    // differ.
    std::map<std::string, QString> intended() const;
    std::map<std::string, QString> saved_;
    std::set<std::string> changedSettings() const;

    void layoutInfoTips(QWidget* page);
    void layoutInternetExplorer(QWidget* page);
    void layoutBoot(QWidget* page);
    void layoutSystemFolders(QWidget* page);
    void layoutMisc(QWidget* page);
    void layoutAbout(QWidget* page);
    void layoutButtonRow();

    // Text1 to Text6 and Picture1 to Picture6 by row.
    std::array<TextBox*, 6> tipBoxes() const { return {Text1, Text2, Text3, Text4, Text5, Text6}; }
    std::array<PictureBox*, 6> tipPictures() const {
        return {Picture1, Picture2, Picture3, Picture4, Picture5, Picture6};
    }
};
