# The tests that take more than 3 s on a two-core machine, labelled slow so
# that `ctest -LE slow` (make quick) runs the rest in under half a minute;
# `ctest` and `make test` still run every test. CTest reads this file after
# the tests GoogleTest listed (TEST_INCLUDE_FILES); a name that is not there
# (a part skipped for a missing library) is passed over.
# A new test that takes longer belongs here.
set(slscan_slow_tests
  # Whole scans rendered, scanned and measured
  EndToEnd.MaskedNoisyScanKeepsTheCleanScansPoints
  EndToEnd.ConditionedCrosstalkScanKeepsTheCleanScansPoints
  CloudEndToEnd.TexturedSphereScan
  VaseScan.TwelveAnglesDecodeToPointsOnTheVase
  CloudColour.GreyBoardGivesItsGreyNeverStripes
  MeshEndToEnd.NoisyHorseScanGivesAClosedAccurateMesh
  MeshTool.PartsAndAnOpenBottom
  MeshTool.RefusesBadInputWithItsReason
  MeshTool.SphereClosedOutwardAndColoured
  MeshTool.StrayShellBesideTheSurfaceDropped
  MeshTool.SmallPartKeptUnlessPressedAgainstALargerOne
  MeshReport.NoSceneNoReport
  ToolContract.ModelRunsSeveralFoldersOneLineEach
  ToolContract.HelpVersionAndUsageErrors
  ToolContract.FilesThatDoNotBelongTogetherAreNotBelieved
  CloudEndToEnd.AnotherRigFoundBesideThePhotographs
  Rig.RenderingIsTheSameOnAnyNumberOfThreads
  Rig.BlackLevelAndOpticsBlur
  # A rig of its own rendered and scanned; the built-in rig as a file
  RigScan.PointsLieOnTheTrueSurface
  RigScan.TheMiddleRowLosesCrossingsTheEpipolarRuleKeeps
  RigScan.RefusalsWriteNothing
  RigScanSlow.BuiltInRigAsAFileIsByteForByte
  # slscan run many times over a small scan
  Scan.EachFaultIsNamedAndTheRunGoesOn
  Scan.RunIsCleanUnderMemcheck
  Scan.AnyNumberOfWorkersGivesTheSameRun
  Scan.PhotographsOfTheCalibratedSizeDrawNoWarning
  # The largest picture the reader takes
  HostileFiles.PictureAtTheCapLoads
)
foreach(test IN LISTS slscan_slow_tests)
  set_tests_properties(${test} PROPERTIES LABELS slow)
endforeach()
