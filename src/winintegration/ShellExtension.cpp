#include "winintegration/ShellExtension.h"

#include "core/EditionProfile.h"
#include "core/PlatformServices.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"

bool registerShellExtension()
{
    const EditionProfile& profile = currentProfile();
    if (profile.helperName.isEmpty() || !Services::fileManagerMenu().registerMenu(profile))
        return false;
    TQuayRegistryObject().WriteDLLRegistered(true);
    return true;
}

bool removeShellExtension()
{
    const EditionProfile& profile = currentProfile();
    if (profile.helperName.isEmpty() || !Services::fileManagerMenu().removeMenu(profile))
        return false;
    TQuayRegistryObject().WriteDLLRegistered(false);
    return true;
}
