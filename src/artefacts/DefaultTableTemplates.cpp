// The table list of the default configuration. Column names and types are
// spelled exactly as the analysis system writes them, including the odd
// ones ("String........", "??", "Error Type", "ThesholdLevel").
#include "artefacts/DefaultTableTemplates.h"

namespace schema {

namespace {

constexpr TableTemplate kTables[] = {
    {"ActualFlutterTestPointsLog", false,
     "TISPoint|StartTime|StopTime|Man.Type|Nz|NzW|M/MH|KEAS|KCAS|Alt|RRLimit|BankAngle"
     "|FESSurf/Phase|FESMode|FESProfile|Freq1|Freq2|Amp|Duration|Bursts|Notes|PropertyBag",
     "string|string|string|string|float|string|float|string|string|float|string|string"
     "|string|string|string|float|float|string|float|string|string|string"},
    {"ActualLoadsTestPointsLog", false,
     "TISPoint|StartTime|StopTime|Man.Type|M/MH|Alt|%NzW|%NzWLimiter|Direction|%MPR"
     "|Purpose|Notes|PropertyBag",
     "string|string|string|string|float|float|float|float|string|float|string|string"
     "|string"},
    {"AnalysisWindows", false,
     "AnalysisWindowName|X|Y|Width|Height|Classification|WindowState|ChartSpeed"
     "|GridResolution|Comment|PropertyBag",
     "String|Float|Float|Float|Float|listQuery(select distinct Name from Classifications)"
     "|list(Normal,Minimized,Maximized)"
     "|listQuery(select Value from SystemValues where Name = 'ChartSpeed')"
     "|listQuery(select Value from SystemValues where Name = 'GridResolution')|String"
     "|String"},
    {"AnalysisLog", false,
     "Saved|StartTime|StopTime|Mode|Symmetry|Parameter|Frequency|Damping|AnalysisMethod"
     "|AnalysisType|FilterName|FilterType|LowFreq|HighFreq|Comment|PropertyBag",
     "list(Y,N)|String|String|String|String|String|Float|Float|String"
     "|listQuery(select Value from SystemValues where Name = 'AnalysisMethod')|String"
     "|String|Float|Float|String|String"},
    {"FlutterSummaryLog", false,
     "Mode|Symmetry|Parameter|Include|OfficialResult|Damping|Frequency|AnalysisMethod"
     "|AnalysisType|Altitude|Mach|KEAS|Man.Type|FlightNumber|AircraftNumber|TISPoint"
     "|FilterName|FilterType|LowFrequency|HighFrequency|PropertyBag",
     "String|String|String|list(Y,N)|list(Y,N)|Float|Float|String"
     "|listQuery(select Value from SystemValues where Name = 'AnalysisMethod')|Float|Float"
     "|Float|String|String|String|String|String|String|Float|Float|String"},
    {"DataStorageInformation", false, "NumberOfActiveStorageSessions|PropertyBag", "String|string"},
    {"Colors", false, "Color|PropertyBag", "Color|string"},
    {"Classifications", false, "Name|PropertyBag", "string|string"},
    {"GroupDefinitions", false, "Name|PropertyBag", "String|string"},
    {"PredefinedComments", false, "Group|SubGroup|CommentType|Comment|PropertyBag",
     "String|String|listQuery(select Value from SystemValues where Name = 'CommentType')"
     "|String|String"},
    {"Constants", false, "ConstantName|Type|Value|Units|PropertyBag",
     "string|listQuery(select Value from SystemValues where Name = 'ParamType')|string"
     "|string|string"},
    {"DataDisplays", false, "DataDisplayName|DataDisplayType|ParentName|PropertyBag",
     "String|listQuery(select Value from SystemValues where Name = 'DataDisplayType')"
     "|String|String"},
    {"DisplayDefaults", false, "Group|DisplayType|UpdateRatePerSecond|width|height|??|PropertyBag",
     "String|String........|string"},
    {"Desktops", false, "Group|SubGroup|DesktopName|AnalysisWindowName|PropertyBag",
     "string|string|string|string|string"},
    {"ExtendedDesktopInfo", false, "DesktopName|NumberOfChildren|PropertyBag",
     "string|string|string"},
    {"Envelopes", false,
     "Parameter1|Parameter2|EnvName|EnvGroup|EnvSubGroup|ParameterValuePairs|Color|Width"
     "|Style|CalcType|%Transparency|Comment|PropertyBag",
     "String|String|String|String|String|String|Color|Int"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'EnvCalcType')|Float|String"
     "|String"},
    {"EventMarkerLog", false, "Group|SubGroup|User|Time|Comment|PropertyBag",
     "string|string|string|string|string|string"},
    {"LogBehavior", false, "LogName|BringToTopOnChange|AutoPushOnChange|PropertyBag",
     "String|list(Yes,No)|list(Yes,No)|string"},
    {"LoadsSummaryLog", false,
     "Envelope|Parameter|TIS|Comment|ShowInPlot|FromPickXY|XValue|YValue|EnvelopeLL"
     "|EnvelopeLLTime|MinLL|minLLTime|MaxLL|maxLLTime|Maneuver|Direction|Location|%MRR"
     "|ActualMach|TargetMach|ActualAltitude|TargetAltitude|ActualNzW|TargetNzW|ActualNz"
     "|TargetNz|RollRate|AirSpeed|LeftWingFuel|RightWingFuel|TotalFuel|GrossWeight|LongCG"
     "|NzWLimiterSetting|Purpose|PropertyBag",
     "String|String|String|String|list(Y,N)|list(Y,N)|Float|Float|Float|String|Float"
     "|String|Float|String|String|String|String|Float|Float|Float|Float|Float|Float|Float"
     "|Float|Float|Float|Float|Float|Float|Float|Float|Float|Float|String|string"},
    {"TableUpdateBehavior", false, "TableName|ActionOnUpdate|ActionOnDelete|PropertyBag",
     "String|listQuery(select Value from SystemValues where Name = 'ActionOnUpdate')"
     "|listQuery(select Value from SystemValues where Name = 'ActionOnDelete')|String"},
    {"ModalDefinitions", false,
     "Group|SubGroup|Mode|Symmetry|MinimumFrequency(Hz)|MaximumFrequency(Hz)|ParameterList"
     "|Surface|PropertyBag",
     "String|String|String"
     "|listQuery(select Value from SystemValues where Name = 'Symmetry')|Float|Float"
     "|String|listQuery(select Value from SystemValues where Name = 'Surface')|String"},
    {"ParameterDefaultsState", false, "ParameterDefaults|Group|isActive|PropertyBag",
     "String|String|list(True,False)|string"},
    {"ParameterDefaults", true,
     "ParameterDefaults|Parameter|ParamType|ParamGroup|ParamSubGroup|ShortName|LongName"
     "|Units|Color|Width|DataSourceType|DataSourceArguement|UpdateRate|LLNegative"
     "|LLPositive|TScaleRangeMin|TScaleRangeMax|TScaleAuto|FScaleRangeMin|FScaleRangeMax"
     "|FScaleAuto|WThreshRangeMin|WThreshRangeMax|WThreshColor|WThreshLabel"
     "|WThreshLineWidth|AThreshRangeMin|AThreshRangeMax|AThreshColor|AThreshLabel"
     "|AThreshLineWidth|FilterActive|FilterAlgorithm|FilterPassType|FilterLowCutoff"
     "|FilterHighCutoff|FilterOrder|WildPointRangeMin|WildPointRangeMax|WildPointCorMethod"
     "|WildPointCorValue|SignChange|NullCorrection|NullBaseline|NullAverage|NullBias"
     "|NullGroup|SpikeDetectionMethod|SpikeCorMethod|SpikeChangeLimit|TriggerCondition"
     "|AutoAnalysisType|ActivationOption|AutoBlockSize|PercentReduction|AutoFreqCalc"
     "|Frequency|UserFactor|ComputeType|ExcitationSignal|WindowType|Alpha|AveragingMethod"
     "|Overlap|BlocksPerAverage|BlockSize|StringLookupTable|UniqueIdStr|PropertyBag",
     "String|String|listQuery(select Value from SystemValues where Name = 'ParamType')"
     "|String|String|String|String|String|Color|Int"
     "|listQuery(select Value from SystemValues where Name = 'DataSourceType')|String"
     "|Float|Float|Float|Float|Float|list(On,Off)|Float|Float|list(On,Off)|Float|Float"
     "|Color|String|Int|Float|Float|Color|String|Int|list(Yes,No)"
     "|listQuery(select Value from SystemValues where Name = 'FilterAlgorithm')"
     "|listQuery(select Value from SystemValues where Name = 'FilterPassType')|Float|Float"
     "|Int|Float|Float"
     "|listQuery(select Value from SystemValues where Name = 'WildPointCorMethod')|Float"
     "|list(Yes,No)"
     "|listQuery(select Value from SystemValues where Name = 'NullCorrectionType')|Float"
     "|Float|Float|listQuery(select Value from SystemValues where Name = 'NullGroup')"
     "|listQuery(select Value from SystemValues where Name = 'SpikeDetectionMethod')"
     "|listQuery(select Value from SystemValues where Name = 'SpikeCorMethod')|Float"
     "|String|listQuery(select Value from SystemValues where Name = 'AutoAnalysisType')"
     "|Int|list(True,False)|Float|list(True,False)|Float|Float"
     "|listQuery(select Value from SystemValues where Name = 'ComputeType')|String"
     "|listQuery(select Value from SystemValues where Name = 'WindowType')"
     "|listQuery(select Value from SystemValues where Name = 'Alpha')"
     "|listQuery(select Value from SystemValues where Name = 'AveragingType')|Float|Int"
     "|listQuery(select Value from SystemValues where Name = 'BlockSize')|String|String"
     "|String"},
    {"ParametersSavedInDisplays", true,
     "DataDisplayName|ParameterNumber|Parameter|ParamType|ParamGroup|ParamSubGroup"
     "|ShortName|LongName|Units|Color|Width|DataSourceType|DataSourceArguement|UpdateRate"
     "|LLNegative|LLPositive|TScaleRangeMin|TScaleRangeMax|TScaleAuto|FScaleRangeMin"
     "|FScaleRangeMax|FScaleAuto|WThreshRangeMin|WThreshRangeMax|WThreshColor|WThreshLabel"
     "|WThreshLineWidth|AThreshRangeMin|AThreshRangeMax|AThreshColor|AThreshLabel"
     "|AThreshLineWidth|FilterActive|FilterAlgorithm|FilterPassType|FilterLowCutoff"
     "|FilterHighCutoff|FilterOrder|WildPointRangeMin|WildPointRangeMax|WildPointCorMethod"
     "|WildPointCorValue|SignChange|NullCorrection|NullBaseline|NullAverage|NullBias"
     "|NullGroup|SpikeDetectionMethod|SpikeCorMethod|SpikeChangeLimit|TriggerCondition"
     "|AutoAnalysisType|ActivationOption|AutoBlockSize|PercentReduction|AutoFreqCalc"
     "|Frequency|UserFactor|ComputeType|ExcitationSignal|WindowType|Alpha|AveragingMethod"
     "|Overlap|BlocksPerAverage|BlockSize|StringLookupTable|UniqueIdStr|PropertyBag",
     "String|Int|String|listQuery(select Value from SystemValues where Name = 'ParamType')"
     "|String|String|String|String|String|Color|Int"
     "|listQuery(select Value from SystemValues where Name = 'DataSourceType')|String"
     "|Float|Float|Float|Float|Float|list(On,Off)|Float|Float|list(On,Off)|Float|Float"
     "|Color|String|Int|Float|Float|Color|String|Int|list(Yes,No)"
     "|listQuery(select Value from SystemValues where Name = 'FilterAlgorithm')"
     "|listQuery(select Value from SystemValues where Name = 'FilterPassType')|Float|Float"
     "|Int|Float|Float"
     "|listQuery(select Value from SystemValues where Name = 'WildPointCorMethod')|Float"
     "|list(Yes,No)"
     "|listQuery(select Value from SystemValues where Name = 'NullCorrectionType')|Float"
     "|Float|Float|listQuery(select Value from SystemValues where Name = 'NullGroup')"
     "|listQuery(select Value from SystemValues where Name = 'SpikeDetectionMethod')"
     "|listQuery(select Value from SystemValues where Name = 'SpikeCorMethod')|Float"
     "|String|listQuery(select Value from SystemValues where Name = 'AutoAnalysisType')"
     "|Int|list(True,False)|Float|list(True,False)|Float|Float"
     "|listQuery(select Value from SystemValues where Name = 'ComputeType')|String"
     "|listQuery(select Value from SystemValues where Name = 'WindowType')"
     "|listQuery(select Value from SystemValues where Name = 'Alpha')"
     "|listQuery(select Value from SystemValues where Name = 'AveragingType')|Float|Int"
     "|listQuery(select Value from SystemValues where Name = 'BlockSize')|String|String"},
    {"PlannedLoadsTestPoints", false,
     "TISPoint|Man.Type|M/MH|Alt|%NzW|%NzWLimiter|Direction|%MPR|Purpose|Notes|PropertyBag",
     "string|string|float|float|float|float|string|float|string|string|string"},
    {"PlannedFlutterTestPoints", false,
     "TISPoint|Man.Type|Nz|NzW|M/MH|KEAS|KCAS|Alt|RRLimit|BankAngle|FESSurf/Phase|FESMode"
     "|FESProfile|Freq1|Freq2|Amp|Duration|Bursts|Notes|PropertyBag",
     "string|string|float|string|float|string|string|float|string|string|string|string"
     "|string|float|float|string|float|string|string|string"},
    {"AlphaNumeric", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|DisplayFormatType|DisplayPrecision"
     "|LabelText|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)"
     "|listQuery(select Value from SystemValues where Name = 'DisplayFormatType')|Float"
     "|String|String"},
    {"AlphaNumericTable", false, "Name|X|Y|Width|Height|PropertyBag",
     "String|Float|Float|Float|Float|String"},
    {"Annunciator", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|DisplayFormatType|DisplayPrecision"
     "|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)"
     "|listQuery(select Value from SystemValues where Name = 'DisplayFormatType')|Float"
     "|String"},
    {"FrequencyResponsePlot", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|PlotType|PhaseScaleUnits|AutoScale"
     "|AutoScaleThreshold|PeakHoldActive|PeakHoldColor|MagXAxisColor|MagXAxisLineStyle"
     "|MagXAxisScaleType|MagXAxisMin|MagXAxisMax|MagYAxisColor|MagYAxisLineStyle"
     "|MagYAxisScaleType|MagYAxisMin|MagYAxisMax|PhaseXAxisColor|PhaseXAxisLineStyle"
     "|PhaseXAxisScaleType|PhaseXAxisMin|PhaseXAxisMax|PhaseYAxisColor|PhaseYAxisLineStyle"
     "|PhaseYAxisScaleType|PhaseYAxisMin|PhaseYAxisMax|125Rule|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)"
     "|listQuery(select Value from SystemValues where Name = 'FrequencyResponsePlotType')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleUnits')"
     "|list(True,False)|Float|list(True,False)|Color|Color"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|String"},
    {"CrossPlot", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|DataTailLength|NewestDataColor"
     "|NewestDataSymbol|NewestDataSize|PastDataColor|PastDataSymbol|PastDataSize"
     "|XAxisColor|XAxisLineStyle|XAxisScaleType|XAxisMin|XAxisMax|YAxisColor"
     "|YAxisLineStyle|YAxisScaleType|YAxisMin|YAxisMax|125Rule|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)|Float|Color"
     "|listQuery(select Value from SystemValues where Name = 'SymbolType')|Int|Color"
     "|listQuery(select Value from SystemValues where Name = 'SymbolType')|Int|Color"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|String"},
    {"DisplayLabel", false, "Name|X|Y|Width|Height|LabelText|PropertyBag",
     "String|Float|Float|Float|Float|String|string"},
    {"DisplayPanel", false, "Name|X|Y|Width|Height|PropertyBag",
     "String|Float|Float|Float|Float|String"},
    {"DisplayFolder", false, "Name|X|Y|Width|Height|PropertyBag",
     "String|Float|Float|Float|Float|String"},
    {"DisplayTab", false, "Name|X|Y|Width|Height|PropertyBag",
     "String|Float|Float|Float|Float|String"},
    {"F22Model", false,
     "Name|X|Y|Width|Height|BackgroundColor|Roll|Pitch|Yaw|RVertStab|LVertStab|RHorzStab"
     "|LHorzStab|RFlaperon|LFlaperon|RAileron|LAileron|RLEFlap|LLEFlap|ShadeModel"
     "|ModelView|ZoomFactor|SurfaceScaleFactor|PropertyBag",
     "String|Float|Float|Float|Float|Color|String|String|String|String|String|String"
     "|String|String|String|String|String|String|String|list(Solid,Panel,Wire)"
     "|list(Top,Bottom,Left,Right,Front,Back)|Float|Float|String"},
    {"FlutterSummaryPlot", false,
     "Name|X|Y|Width|Height|BackgroundColor|QueryMode|QuerySymmetry|QueryFlightCondition"
     "|QueryOperation|QueryFlightConditionValue|MeasuredSymbolColor|MeasuredSymbolSize"
     "|PredictedSymbolColor|PredictedSymbolSize|OfficialSymbolColor|OfficialSymbolSize"
     "|AverageSymbolColor|AverageSymbolSize|FrequencyXAxisColor|FrequencyXAxisLineStyle"
     "|FrequencyXAxisScaleType|FrequencyXAxisMin|FrequencyXAxisMax|FrequencyYAxisColor"
     "|FrequencyYAxisLineStyle|FrequencyYAxisScaleType|FrequencyYAxisMin|FrequencyYAxisMax"
     "|DampingXAxisColor|DampingXAxisLineStyle|DampingXAxisScaleType|DampingXAxisMin"
     "|DampingXAxisMax|DampingYAxisColor|DampingYAxisLineStyle|DampingYAxisScaleType"
     "|DampingYAxisMin|DampingYAxisMax|125Rule|PropertyBag",
     "String|Float|Float|Float|Float|Color"
     "|listQuery(select distinct Mode from FlutterSummaryLog)"
     "|listQuery(select distinct Symmetry from FlutterSummaryLog)"
     "|listQuery(select Value from SystemValues where Name = 'FlutterSummaryFlightConditions')"
     "|listQuery(select Value from SystemValues where Name = 'BooleanOperations')|Float"
     "|Color|Int|Color|Int|Color|Int|Color|Int|Color"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|String"},
    {"FrequencyPlot", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|PlotType|AutoScale"
     "|AutoScaleThreshold|PeakHoldActive|PeakHoldColor|XAxisColor|XAxisLineStyle"
     "|XAxisScaleType|XAxisMin|XAxisMax|YAxisColor|YAxisLineStyle|YAxisScaleType|YAxisMin"
     "|YAxisMax|125RuleX|125RuleY|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)"
     "|listQuery(select Value from SystemValues where Name = 'FrequencyPlotType')"
     "|list(True,False)|Float|list(True,False)|Color|Color"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|list(True,False)|String"},
    {"LoadsSummaryPlot", false,
     "Name|X|Y|Width|Height|BackgroundColor|QueryLocation|QueryEnvelope"
     "|QueryFlightCondition|QueryFlightConditionOperation|QueryFlightConditionValue"
     "|QueryLoadLimitOperation|QueryLoadLimitValue|QueryManeuver|PickXYSymbolColor"
     "|PickXYSymbolType|PickXYSymbolSize|MaxLLSymbolColor|MaxLLSymbolType|MaxLLSymbolSize"
     "|XAxisColor|XAxisLineStyle|XAxisScaleType|XAxisMin|XAxisMax|YAxisColor"
     "|YAxisLineStyle|YAxisScaleType|YAxisMin|YAxisMax|125Rule|PropertyBag",
     "String|Float|Float|Float|Float|Color|String|String|String|String|String|String"
     "|String|String|Color"
     "|listQuery(select Value from SystemValues where Name = 'SymbolType')|Int|Color"
     "|listQuery(select Value from SystemValues where Name = 'SymbolType')|Int|Color"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|String"},
    {"NyquistPlot", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|AutoScale|AutoScaleThreshold"
     "|XAxisColor|XAxisLineStyle|XAxisScaleType|XAxisMin|XAxisMax|YAxisColor"
     "|YAxisLineStyle|YAxisScaleType|YAxisMin|YAxisMax|125Rule|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)|list(True,False)|Float|Color"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|String"},
    {"Slider", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|AxisColor|AxisScaleType|AxisMin"
     "|AxisMax|125Rule|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)|Color"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|String"},
    {"StripChart", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|ScrollDirection|TimeDisplay"
     "|TimeFormat|TimeIntervalType|TimeInterval|TimePaperColor|NewTimeColor|PastTimeColor"
     "|GridSizeInMillimeters|1mmGridColor|5mmGridColor|100mmGridColor|YAxisMin|YAxisMax"
     "|125Rule|PropertyBag",
     "String|Float|Float|Float|Float|Color|list(True,False)"
     "|listQuery(select Value from SystemValues where Name = 'ScrollDirection')"
     "|listQuery(select Value from SystemValues where Name = 'TimeDisplayPosition')"
     "|listQuery(select Value from SystemValues where Name = 'TimeFormat')"
     "|listQuery(select Value from SystemValues where Name = 'TimeIntervalType')|Float"
     "|Color|Color|Color"
     "|listQuery(select Value from SystemValues where Name = 'GridResolution')|Color|Color"
     "|Color|Float|Float|list(True,False)|String"},
    {"TppDefinitions", false,
     "Parameter|Tag|SampleRate|DataFormat|NullCorrection|AlgorithmId|PropertyBag",
     "string|int|float|int|int|int|string"},
    {"Users", false, "User|Password|ActiveDesktop|DesktopList|Colors|PropertyBag",
     "String|String|String|String|String|String"},
    {"Lists", false, "ListName|AllowedValues|PropertyBag", "string|string|string"},
    {"PeaksLog", false, "Group|SubGroup|User|Parameter|TimeValueList|Comment|PropertyBag",
     "string|string|string|string|list|string|string"},
    {"SystemValues", false, "Name|Value|PropertyBag", "String|String|string"},
    {"ToolPositions", false, "Name|X|Y|Width|Height|isVisible|PropertyBag", "String|String|string"},
    {"ThresholdLog", false,
     "Group|SubGroup|User|ThesholdLevel|AnalysisWindow|DataDisplayType|Parameter|Time"
     "|Value|DataDisplayName|Comment|PropertyBag",
     "String|String|String|String|String|String|String|String|Float|String|String|string"},
    {"ViewQueries", false, "TableName|Query|PropertyBag", "String|String|string"},
    {"SelectionsLog", false,
     "Group|SubGroup|User|Time|Value|Parameter|Filter|Display|Comment|PropertyBag",
     "String|String|String|String|String|String|String|String|String|string"},
    {"SystemParameterDefaults", false,
     "Parameter|ParameterID|UpdateRate|ParamType|ParamCategory|PropertyBag",
     "String|Int|Int|listQuery(select Value from SystemValues where Name = 'ParamType')"
     "|listQuery(select Value from SystemValues where Name = 'ParamCategory')|String"},
    {"ValidationLog", false, "Parameter|Error Type|Expected|Actual|Comment|PropertyBag",
     "String|listQuery(select Value from SystemValues where Name = 'ValidationErrorType')"
     "|String|String|String|String"},
    {"DataEditLog", false, "Type|Parameter|Time|OldValue|NewValue|Comment|PropertyBag",
     "String|String|String|String|String|String|string"},
    {"NullCorrections", false,
     "Parameter|ExpectedCorrection|CalculatedCorrection|Bias|PointsAveraged|PropertyBag",
     "String|float|float|float|int|string"},
    {"FESParameters", false, "FESOutput|Parameter|Comment|PropertyBag",
     "String|String|String|string"},
    {"ActiveXControlsTab", false, "ProgId|PropertyBag", "String|String"},
    {"ActiveXDisplay", false, "Name|X|Y|Width|Height|NeverFreeze|ProgId|PropertyBag",
     "String|Float|Float|Float|Float|list(True,False)|String|String"},
    {"DataViewsDisplay", false, "Name|X|Y|Width|Height|NeverFreeze|PropertyBag",
     "String|Float|Float|Float|Float|list(True,False)|String"},
    {"DataGroups", false, "Group|SubGroup|User|Name|Parameters|PropertyBag",
     "String|String|String|String|String|String"},
    {"OctaveBandDisplay", false,
     "Name|X|Y|Width|Height|BackgroundColor|NeverFreeze|PlotType|AutoScale"
     "|AutoScaleThreshold|PeakHoldActive|PeakHoldColor|XAxisColor|XAxisLineStyle"
     "|XAxisScaleType|XAxisMin|XAxisMax|YAxisColor|YAxisLineStyle|YAxisScaleType|YAxisMin"
     "|YAxisMax|125RuleX|125RuleY|PropertyBag",
     "String|Int|Int|Int|Int|Color|list(True,False)"
     "|listQuery(select Value from SystemValues where Name = 'OctaveBandPlotType')"
     "|list(True,False)|Float|list(True,False)|Color|Color"
     "|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|Color|listQuery(select Value from SystemValues where Name = 'LineStyle')"
     "|listQuery(select Value from SystemValues where Name = 'ScaleType')|Float|Float"
     "|list(True,False)|list(True,False)|String"},
    {"DerivativeSummaryLog", false,
     "Flight|Test|Tail|TestPoint|Derivative|Mach|QBar|Alpha|CurrentValue|PredictedValue"
     "|CramerRaoBound|Active|PropertyBag",
     "String|String|String|String|String|Float|Float|Float|Float|Float|Float"
     "|list(True,False)|String"},
    {"ZarnActiveXControls", false, "Name|X|Y|Z|Width|Height|ProgId|ParentName|PropertyBag",
     "String|Int|Int|Int|Int|Int|String|String|String"},
};

static_assert(sizeof kTables / sizeof kTables[0] == kDefaultTableCount);

}  // namespace

std::span<const TableTemplate> DefaultTableTemplates() { return kTables; }

}  // namespace schema
