// The process-wide message catalog that holds the status texts.
#pragma once

#include <nl_types.h>

#include <string>

namespace zavToolsLib {

// The library's catalog, opened once when the library is loaded.
constexpr const char* ZAV_CATALOG_NAME = "zav-MgmtSvcs";

// Opens catalog name and makes it the default catalog. The search path is CatalogOpenPath;
// when it finds nothing, the installed catalog (InstalledCatalogSearchPath); "LANG" is set to
// "C" for the open when it is unset or empty. locale is handed to setlocale(LC_MESSAGES) (""
// takes it from the environment). When that fails too, "./" + name (+ ".cat") is tried.
// Returns 0 when a catalog is open, otherwise the error number of the last open.
// Touches the environment variables NLSPATH and LANG for its duration.
int OpenCatalog(const char* directory, const char* name, const char* locale);

// What catopen returns when it fails, (nl_catd)-1.
inline nl_catd NoCatalog() {
    return reinterpret_cast<nl_catd>(-1);  // NOLINT(performance-no-int-to-ptr): catopen's value
}

// The default catalog, NoCatalog() when none is open.
nl_catd GetCatalogHandle();

// The name last given to OpenCatalog.
std::string GetCatalogName();

// directory/%L/LC_MESSAGES/%N.cat and directory/C/LC_MESSAGES/%N.cat (when directory is given),
// then the library's default directories.
std::string BuildCatalogSearchPath(const char* directory);

// The NLSPATH of the open: BuildCatalogSearchPath, then ":" and the caller's NLSPATH (callers)
// when that is not empty.
std::string CatalogOpenPath(const char* directory, const std::string& callers);

// The search path OpenCatalog tries when CatalogOpenPath finds nothing: the folder
// zavEventQuerySvcs5/nls beside the file that holds the library's code (an install under any
// prefix, relocated or not, and the build tree), then that folder under the configured install
// prefix (programs that link the toolkit statically, such as zavsign).
std::string InstalledCatalogSearchPath();

}  // namespace zavToolsLib
