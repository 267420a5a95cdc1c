# Installed layout (relative to the prefix), which the Debian package
# (debian/) takes its program, manual page and documentation from:
#   bin/zkQuoteForge
#   share/man/man1/zkQuoteForge.1
#   share/doc/zkquoteforge/   README, the pages of docs/ (running, configuration
#                             and its gallery, design, performance)
#   share/zkquoteforge/alert-rules.yml   Prometheus alert rules for the status file
#   share/zkquoteforge/calendars/        the trading calendars, to name or to copy and amend
# The service unit, system user, configuration in /etc, example and log
# rotation are the package's: see debian/ and scripts/build-package.

if(TARGET zkQuoteForge)
  install(TARGETS zkQuoteForge RUNTIME DESTINATION bin)
endif()
install(FILES docs/zkQuoteForge.1 DESTINATION share/man/man1)
install(FILES README.md docs/running.md docs/configuration.md docs/design.md docs/performance.md
        DESTINATION share/doc/zkquoteforge)
install(DIRECTORY docs/gallery/ DESTINATION share/doc/zkquoteforge/gallery FILES_MATCHING PATTERN "*.png" PATTERN "*.svg")
install(FILES monitoring/alert-rules.yml DESTINATION share/zkquoteforge)
install(DIRECTORY examples/calendars/ DESTINATION share/zkquoteforge/calendars FILES_MATCHING PATTERN "*.ini")
