@echo off
rem Group Policy computer startup script (or a scheduled task running as
rem SYSTEM): collects this machine's result into the results share. The
rem computer accounts ("Domain Computers") need read on the tools share and
rem write (create files) on the results share; see the README's fleet section.
setlocal EnableDelayedExpansion
set "TOOLS=\\server\share\brindle"
set "RESULTS=\\server\share\results"

rem brindle.exe reads its command line in lower case and names the result
rem "<name>.tgz" so; the marker file gets the same name. (Replacing a
rem letter by itself with set's substitution, which ignores case, lowers it.)
set "NAME=%COMPUTERNAME%"
for %%L in (a b c d e f g h i j k l m n o p q r s t u v w x y z) do set "NAME=!NAME:%%L=%%L!"

rem Startup scripts run at every boot: once a run has written its result
rem (0, or 4: collected with errors), stop.
set "LAST="
set /p LAST=<"%RESULTS%\%NAME%.exitcode" 2>nul
if "%LAST%"=="0" exit /b 0
if "%LAST%"=="4" exit /b 0

rem At start-up the network may come later than this script: wait for the
rem tools share for up to five minutes.
set /a TRIES=0
:wait_for_share
if exist "%TOOLS%\brindle.exe" goto share_ready
set /a TRIES+=1
if %TRIES% geq 30 exit /b 1
ping -n 11 127.0.0.1 >nul
goto wait_for_share
:share_ready

rem A new folder under a name nobody can guess, made private (SYSTEM and
rem Administrators only, nothing inherited) before anything goes in:
rem every local user may create files in %SystemRoot%\Temp, and a privileged
rem run must not find links of theirs in its folder.
set "WORK=%SystemRoot%\Temp\brindle-%RANDOM%%RANDOM%%RANDOM%"
mkdir "%WORK%" || exit /b 1
icacls "%WORK%" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F >nul || goto cleanup
for /f %%F in ('dir /a /b "%WORK%" 2^>nul') do goto cleanup
copy /y "%TOOLS%\brindle.exe" "%WORK%\" >nul || goto cleanup
copy /y "%TOOLS%\*.tov" "%WORK%\" >nul || goto cleanup

rem Every machine writes "<name>.tgz" (".tgz.p7m" from a copy branded with
rem --encrypt-to) into the same share folder; runs started at once never
rem spoil each other's results.
start "" /wait "%WORK%\brindle.exe" /silent /case=%NAME% /outfile=%RESULTS%\
set "CODE=%ERRORLEVEL%"
rem 0 done, 1 result missing or incomplete, 2 stopped, 3 bad command line,
rem 4 collected with errors (the result is there; its activity log says what failed).
> "%RESULTS%\%NAME%.exitcode" echo %CODE%

:cleanup
rmdir /s /q "%WORK%" 2>nul
if not defined CODE exit /b 1
exit /b %CODE%
