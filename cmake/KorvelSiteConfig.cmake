# The site's configuration line: the default line, as the program writes it, and the
# servers a site names besides the first.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/common/config_line.h korvel_default_lines
    REGEX "k(Default(ServerAddress|PortField)|SiteExtraServers) = ")
string(REGEX MATCH "kDefaultServerAddress = \"([^\"]*)\"" _ "${korvel_default_lines}")
set(korvel_default_address "${CMAKE_MATCH_1}")
string(REGEX MATCH "kDefaultPortField = \"([^\"]*)\"" _ "${korvel_default_lines}")
set(korvel_default_port "${CMAKE_MATCH_1}")
string(REGEX MATCH "kSiteExtraServers = \"([^\"]*)\"" _ "${korvel_default_lines}")
set(korvel_site_servers "${CMAKE_MATCH_1}")
if(korvel_default_address STREQUAL "" OR korvel_default_port STREQUAL "" OR
        korvel_site_servers STREQUAL "")
    message(FATAL_ERROR "default or site servers or port not found in src/common/config_line.h")
endif()
string(LENGTH "${korvel_default_address}" korvel_address_length)
math(EXPR korvel_fill "15 - ${korvel_address_length}")
string(REPEAT " " ${korvel_fill} korvel_address_fill)
set(korvel_site_config_line
    "SNTP ${korvel_default_address}${korvel_address_fill} ${korvel_default_port} ${korvel_site_servers}")
