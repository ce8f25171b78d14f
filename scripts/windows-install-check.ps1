# The Windows packages on a real Windows, with the real msiexec: what
# tst_installer tries under Wine, and what only Windows shows, its exit codes
# and Restart Manager closing a running Larkspur. Run as an administrator on
# a machine without Larkspur, by the Windows CI leg
# (.github/workflows/windows.yml).
# Usage: windows-install-check.ps1 -Packages <folder>, the folder holding the
# 1.00 packages, older-packages\ (0.99), respun-packages\ (1.00 again) and
# config\larkspur-config.h from the build that made them.
param([Parameter(Mandatory)] [string] $Packages)
$ErrorActionPreference = 'Stop'
$Packages = (Resolve-Path $Packages).Path
$installer = "$Packages\Larkspur-1.00-win64.exe"
$msi = "$Packages\Larkspur-1.00-win64.msi"
$olderInstaller = "$Packages\older-packages\Larkspur-0.99-win64.exe"
$olderMsi = "$Packages\older-packages\Larkspur-0.99-win64.msi"
$respunMsi = "$Packages\respun-packages\Larkspur-1.00-win64.msi"
$folder = "$env:ProgramFiles\Larkspur"
# The window's title, as the build that made the packages wrote it.
$title = (Select-String -Path "$Packages\config\larkspur-config.h" `
        -Pattern '#define LARKSPUR_WINDOW_TITLE "(.*)"').Matches[0].Groups[1].Value
$script:failures = 0

function Check([string] $what, [bool] $holds) {
    if ($holds) { Write-Host "ok: $what" } else { Write-Host "FAILED: $what"; $script:failures++ }
}

function Run([string] $program, [string] $arguments) {
    (Start-Process -FilePath $program -ArgumentList $arguments -Wait -PassThru).ExitCode
}

function Msiexec([string] $verb, [string] $package) {
    Run 'msiexec.exe' "$verb `"$package`" /qn /norestart /l*v `"$env:TEMP\larkspur-msi.log`""
}

function Expect([string] $what, [int] $code, [int] $wanted) {
    Check "$what ends with $wanted (it ended with $code)" ($code -eq $wanted)
}

# Larkspur's entries in the list of installed programs.
function Entries {
    @(Get-ChildItem 'HKLM:\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' |
        Get-ItemProperty | Where-Object { $_.DisplayName -eq 'Larkspur' })
}

# Larkspur started from where it is installed, once its window shows.
function Start-Larkspur {
    $larkspur = Start-Process "$folder\Larkspur.exe" -PassThru
    $deadline = (Get-Date).AddSeconds(60)
    while ($larkspur.MainWindowTitle -ne $title -and (Get-Date) -lt $deadline) {
        Start-Sleep -Milliseconds 200
        $larkspur.Refresh()
    }
    Check 'Larkspur shows its window' ($larkspur.MainWindowTitle -eq $title)
    $larkspur
}

# One Larkspur in the list, of 1.00, that runs and ends with 0 when closed.
function Check-OneLarkspur([string] $after) {
    $found = Entries
    Check "after $after, one Larkspur of 1.00 is installed" (
        $found.Count -eq 1 -and $found[0].DisplayVersion -eq '1.00')
    $larkspur = Start-Larkspur
    $null = $larkspur.CloseMainWindow()
    Check "after $after, Larkspur ends with 0" ($larkspur.WaitForExit(30000) -and $larkspur.ExitCode -eq 0)
}

# The MSI, and what may and may not go over it.
Expect 'the MSI' (Msiexec '/i' $msi) 0
Check-OneLarkspur 'the MSI'
$productCode = (Entries)[0].PSChildName
Expect 'the installer over the MSI' (Run $installer '/S') 4
Expect 'the 0.99 installer over the MSI' (Run $olderInstaller '/S') 4
Expect 'the 0.99 MSI over 1.00' (Msiexec '/i' $olderMsi) 1603
Check-OneLarkspur 'the refusals'
Expect 'another pack of 1.00 over the MSI' (Msiexec '/i' $respunMsi) 0
Check 'the other pack is a product of its own' ((Entries)[0].PSChildName -ne $productCode)
Check-OneLarkspur 'the other pack'
# Restart Manager closes a running Larkspur, as QUIT: no restart is needed.
$running = Start-Larkspur
Expect 'the MSI while Larkspur runs' (Msiexec '/i' $msi) 0
Check 'Restart Manager closed Larkspur' ($running.WaitForExit(30000))
Check-OneLarkspur 'the MSI while Larkspur ran'
Expect 'removing the MSI' (Msiexec '/x' $msi) 0
Check 'nothing of Larkspur is left' ((Entries).Count -eq 0 -and -not (Test-Path $folder))

# The installer, and what may and may not go over it.
Expect 'the 0.99 installer' (Run $olderInstaller '/S') 0
Expect 'the installer over 0.99' (Run $installer '/S') 0
Check-OneLarkspur 'the installer over 0.99'
Expect 'the 0.99 installer over 1.00' (Run $olderInstaller '/S') 3
Expect 'the MSI over the installer' (Msiexec '/i' $msi) 1603
$running = Start-Larkspur
Expect 'the installer while Larkspur runs' (Run $installer '/S') 2
$null = $running.CloseMainWindow()
$null = $running.WaitForExit(30000)
Check-OneLarkspur 'the refusals'
Expect 'removing the installer' (Run "$folder\Uninstall.exe" "/S _?=$folder") 0
Remove-Item -Recurse -Force $folder # the uninstaller run in place leaves itself
Check 'nothing of Larkspur is left' ((Entries).Count -eq 0 -and -not (Test-Path $folder))

if ($script:failures -gt 0) {
    Write-Host "$script:failures checks failed; the last msiexec log: $env:TEMP\larkspur-msi.log"
    exit 1
}
