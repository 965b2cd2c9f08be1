#!/usr/bin/env bash
# Builds the installer from a staged package folder (the program, the log
# viewer, the settings file and the README):
#   make-msi.sh STAGE_FOLDER VERSION OUTPUT.msi
set -euo pipefail
stage=$1 version=$2 output=$3
root=$(cd "$(dirname "$0")/.." && pwd)
# wixl takes the files' names relative to the source's folder.
cp "$root/resources/package/FrameProvider.wxs" "$stage/"
(cd "$stage" && wixl --arch x86 -D Version="$version" -o "$output" FrameProvider.wxs)
rm -f "$stage/FrameProvider.wxs"

# What wixl's subset of WiX cannot say, set in the tables:
# - the old version is removed after the new one is installed, so that the
#   components both share stay (their reference counts never reach zero);
# - the settings file is never overwritten (msidbComponentAttributesNeverOverwrite);
# - the close action runs the viewer from the folder by path (a directory
#   action, type 34, going on whatever it returns, +64), which works before
#   the files of this version are installed, and it runs after the upgrade
#   search (FindRelatedProducts, 25) and the costing (CostFinalize, 1000),
#   which give it its condition and its path.
msibuild "$output" \
  -q "UPDATE InstallExecuteSequence SET Sequence = 6601 WHERE Action = 'RemoveExistingProducts'" \
  -q "UPDATE Component SET Attributes = 128 WHERE Component = 'Settings'" \
  -q "UPDATE CustomAction SET Type = 98, Source = 'INSTALLDIR', Target = '\"[INSTALLDIR]FrameProviderLog.exe\" --close' WHERE Action = 'CloseRunningProgram'" \
  -q "UPDATE InstallExecuteSequence SET Sequence = 1350 WHERE Action = 'CloseRunningProgram'"
echo "$output"
