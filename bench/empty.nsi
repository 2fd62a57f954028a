; An empty silent installer: the reference for the setup's own start-to-exit time.
Name "Empty"
SilentInstall silent
RequestExecutionLevel user
Section
SectionEnd
