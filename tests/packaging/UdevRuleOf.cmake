# The udev rule of another product table: the generator the build runs, on
# TABLE (a source file with rows as src/devices/Products.h writes them),
# into OUTPUT. Run as cmake -DTABLE=<file> -DOUTPUT=<file> -P UdevRuleOf.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/UdevRule.cmake)
m470_generate_udev_rule(${TABLE} ${CMAKE_CURRENT_LIST_DIR}/../../packaging/60-m470.rules.in ${OUTPUT})
