# Strict warnings for every target of the project.
add_library(bq_warnings INTERFACE)
target_compile_options(bq_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
