#include <QApplication>

#include "app/Program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    quorvel::Program program;
    return 0;
}
