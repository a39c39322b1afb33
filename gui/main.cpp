// veloquin and veloquin-lite: the same sources, the lite program compiled
// with VELOQUIN_LITE (no "AFR Protect" page).

#include "gui/program.h"

int main(int argc, char** argv) {
#ifdef VELOQUIN_LITE
    return veloquin::gui::run_program(argc, argv, veloquin::Edition::lite);
#else
    return veloquin::gui::run_program(argc, argv, veloquin::Edition::full);
#endif
}
