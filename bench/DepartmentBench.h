// calibrate-bench --department: the department's record against a local
// PostgreSQL server (a throwaway one unless --database names one): pushing a
// journal of many events, pulling them into another workstation's folder,
// and one meter's history from the merged folder.
#pragma once

#include <optional>
#include <string>

// events: the journal's size, over meters of 100 events each. Limits are
// judged unless quick. The exit status.
int RunDepartmentBench(unsigned events, const std::optional<std::string>& database, bool quick);
