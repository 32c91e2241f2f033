// What assistive technology (a screen reader, through the desktop's
// accessibility bus) is told of the controls whose kind Qt's own
// accessibility does not know: image controls and picture boxes read as
// images, and labels made links read as links, with a press action that
// does what a click does. The controls say what they are as they are made;
// nothing here knows them.
#pragma once

class QWidget;

namespace accessibility {

enum class Role {
    Graphic,  // an image
    Link,     // a link: its name is its text, and pressing it emits its Click() signal
};

// Describes `widget` to assistive technology as `role` from now on. Called
// before Qt first describes it: as soon as the widget is made.
void describeAs(QWidget* widget, Role role);

}  // namespace accessibility
