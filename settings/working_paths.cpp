#include "settings/working_paths.h"

namespace pagelift {

WorkingPaths& processWorkingPaths()
{
    static WorkingPaths paths;
    return paths;
}

}  // namespace pagelift
