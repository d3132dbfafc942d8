@echo off
rem Group Policy computer startup script (or a scheduled task running as
rem SYSTEM): collects this machine's result into the results share. The
rem computer accounts ("Domain Computers") need read on the tools share and
rem write on the results share.
setlocal
set "TOOLS=\\server\share\brindle"
set "RESULTS=\\server\share\results"
set "WORK=%SystemRoot%\Temp\brindle"

rem Startup scripts run at every boot: once a run has written its result
rem (0, or 4: collected with errors), stop.
set "LAST="
set /p LAST=<"%RESULTS%\%COMPUTERNAME%.exitcode" 2>nul
if "%LAST%"=="0" exit /b 0
if "%LAST%"=="4" exit /b 0

rmdir /s /q "%WORK%" 2>nul
mkdir "%WORK%" || exit /b 1
copy /y "%TOOLS%\brindle.exe" "%WORK%\" >nul || goto cleanup
copy /y "%TOOLS%\*.tov" "%WORK%\" >nul || goto cleanup

rem Every machine writes "<name>.tgz" into the same share folder; runs
rem started at once never spoil each other's results.
start "" /wait "%WORK%\brindle.exe" /silent /case=%COMPUTERNAME% /outfile=%RESULTS%\
set "CODE=%ERRORLEVEL%"
rem 0 done, 1 result missing or incomplete, 2 stopped, 3 bad command line,
rem 4 collected with errors (the result is there; its activity log says what failed).
> "%RESULTS%\%COMPUTERNAME%.exitcode" echo %CODE%

:cleanup
rmdir /s /q "%WORK%" 2>nul
if not defined CODE exit /b 1
exit /b %CODE%
