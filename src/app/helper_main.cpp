#include "winintegration/FileManagerHelper.h"

int main(int argc, char* argv[])
{
    return runFileManagerHelper(argc, argv, QStringLiteral(KESTREL_EDITION_NAME));
}
