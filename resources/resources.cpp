// Anchor for the resources library: the pictures, icons and skin definition
// compiled into the program are attached to it by qt_add_resources.
namespace quarrow::resources {
int anchor = 0;
}
