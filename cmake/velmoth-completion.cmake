# velmoth-queue's shell completions, bash's and PowerShell's, made by the target
# velmoth_completion in completion/ of the build from one description of the
# command line, packaging/completion/velmoth-queue.commands (read by
# velmoth-completion-scripts.cmake: a cross build cannot run the program to ask
# it). Bash's is installed where bash-completion looks for it by the command's
# name; PowerShell's, on Windows, beside the programs.
set(completion_source ${PROJECT_SOURCE_DIR}/packaging/completion)
set(VELMOTH_COMPLETION_DESCRIPTION ${completion_source}/velmoth-queue.commands)
set(VELMOTH_BASH_COMPLETION ${PROJECT_BINARY_DIR}/completion/velmoth-queue)
set(VELMOTH_POWERSHELL_COMPLETION ${PROJECT_BINARY_DIR}/completion/velmoth-queue-completion.ps1)
set(completion_maker ${CMAKE_CURRENT_LIST_DIR}/velmoth-completion-scripts.cmake)

add_custom_command(
  OUTPUT ${VELMOTH_BASH_COMPLETION} ${VELMOTH_POWERSHELL_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -DDESCRIPTION=${VELMOTH_COMPLETION_DESCRIPTION}
          -DBASH_TEMPLATE=${completion_source}/velmoth-queue.bash.in
          -DBASH=${VELMOTH_BASH_COMPLETION}
          -DPOWERSHELL_TEMPLATE=${completion_source}/velmoth-queue.ps1.in
          -DPOWERSHELL=${VELMOTH_POWERSHELL_COMPLETION} -P ${completion_maker}
  DEPENDS ${VELMOTH_COMPLETION_DESCRIPTION} ${completion_source}/velmoth-queue.bash.in
          ${completion_source}/velmoth-queue.ps1.in ${completion_maker}
  COMMENT "Making velmoth-queue's shell completions" VERBATIM)
add_custom_target(velmoth_completion ALL
                  DEPENDS ${VELMOTH_BASH_COMPLETION} ${VELMOTH_POWERSHELL_COMPLETION})

# bash-completion's own folder under the install prefix: /usr/share/... for the
# .deb, which is also where its pkg-config file says it looks.
if(WIN32)
  install(FILES ${VELMOTH_POWERSHELL_COMPLETION} DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  install(FILES ${VELMOTH_BASH_COMPLETION}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()
