# Makes a new working folder under $Parent that only Administrators and
# SYSTEM can open, with nothing inherited from $Parent, and prints its path.
# C:\Windows\Temp lets every local user create files and folders, so a
# folder made there the ordinary way would let one plant a link in it for
# the privileged run to write through. The rights are given as the folder
# is created, under a name nobody can guess; a name that exists fails.
param([Parameter(Mandatory)] [string] $Parent)
$ErrorActionPreference = 'Stop'
$security = New-Object System.Security.AccessControl.DirectorySecurity
$security.SetAccessRuleProtection($true, $false)
foreach ($sid in 'S-1-5-32-544', 'S-1-5-18') {
    $who = New-Object System.Security.Principal.SecurityIdentifier($sid)
    $security.AddAccessRule((New-Object System.Security.AccessControl.FileSystemAccessRule(
        $who, 'FullControl', 'ContainerInherit,ObjectInherit', 'None', 'Allow')))
}
$security.SetOwner((New-Object System.Security.Principal.SecurityIdentifier('S-1-5-32-544')))
$path = Join-Path $Parent ('brindle-' + [Guid]::NewGuid().ToString('N').Substring(0, 12))
if (Test-Path -LiteralPath $path) { throw "$path exists already" }
$folder = [System.IO.Directory]::CreateDirectory($path, $security)
# CreateDirectory also answers for a folder someone made in the meantime:
# only a fresh, empty, protected real folder will do.
$made = Get-Item -LiteralPath $path -Force
$acl = $made.GetAccessControl()
$others = @($acl.GetAccessRules($true, $true, [System.Security.Principal.SecurityIdentifier]) |
    Where-Object { $_.IdentityReference.Value -notin 'S-1-5-32-544', 'S-1-5-18' })
if ($others.Count -ne 0 -or ($made.Attributes -band [IO.FileAttributes]::ReparsePoint) -or -not $acl.AreAccessRulesProtected -or
    @(Get-ChildItem -LiteralPath $path -Force).Count -ne 0) {
    throw "$path is not the private folder this run made"
}
$folder.FullName
