#include "app/KestrelApplication.h"

int main(int argc, char* argv[])
{
    return runKestrelEdition(argc, argv, QStringLiteral(KESTREL_EDITION_NAME),
                             QStringLiteral(KESTREL_VERSION));
}
