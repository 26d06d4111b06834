// The five controls of the frei0r filter fxaa.so. Each property, '0' to '4', holds 0 to 1, which
// the module maps onto the whole valid range of the plug-in's control: the sliders show that
// range, 0 to 100, and write a hundredth of it; Source is 0 for Color, 1 for Alpha.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    // property, label, suffix and default (as stored) of each slider
    property var sliders: [
        {property: '1', label: qsTr('Strength'), suffix: ' %', stored: 1},
        {property: '2', label: qsTr('FXAA Span'), suffix: '', stored: 0.08},
        {property: '3', label: qsTr('FXAA Reduce Multiplier'), suffix: '', stored: 0.01},
        {property: '4', label: qsTr('FXAA Reduce Minimum'), suffix: '', stored: 0.01}
    ]
    property bool loading: true

    function setControls() {
        loading = true;
        sourceCombo.currentIndex = filter.getDouble('0') >= 0.5 ? 1 : 0;
        for (var i = 0; i < sliderRepeater.count; ++i)
            sliderRepeater.itemAt(i).setFromFilter();
        loading = false;
    }

    width: 350
    height: 180
    Component.onCompleted: {
        // The whole frame at once: MLT slices it for threads 0 (one slice per core) or above 1,
        // and each slice would be anti-aliased without its neighbours' pixels.
        filter.set('threads', 1);
        if (filter.isNew) {
            filter.set('0', 0);
            for (var i = 0; i < sliders.length; ++i)
                filter.set(sliders[i].property, sliders[i].stored);
            filter.savePreset(preset.parameters);
        }
        setControls();
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 3

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            parameters: ['0', '1', '2', '3', '4']
            Layout.columnSpan: 2
            onPresetSelected: setControls()
        }

        Label {
            text: qsTr('Source')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: sourceCombo

            implicitWidth: 120
            model: [qsTr('Color'), qsTr('Alpha')]
            onActivated: filter.set('0', currentIndex)
        }

        Shotcut.UndoButton {
            onClicked: {
                sourceCombo.currentIndex = 0;
                filter.set('0', 0);
            }
        }

        Repeater {
            id: sliderRepeater

            model: sliders.length

            // A label, a slider and its reset button: three cells of the grid.
            delegate: Item {
                property var row: sliders[index]

                function setFromFilter() {
                    slider.value = filter.getDouble(row.property) * 100;
                }

                Layout.columnSpan: 3
                Layout.fillWidth: true
                implicitHeight: rowLayout.implicitHeight

                RowLayout {
                    id: rowLayout

                    anchors.fill: parent

                    Label {
                        text: row.label
                        Layout.minimumWidth: 150
                        horizontalAlignment: Text.AlignRight
                    }

                    Shotcut.SliderSpinner {
                        id: slider

                        minimumValue: 0
                        maximumValue: 100
                        decimals: 2
                        suffix: row.suffix
                        onValueChanged: if (!loading) filter.set(row.property, value / 100)
                    }

                    Shotcut.UndoButton {
                        onClicked: slider.value = row.stored * 100
                    }
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }

        target: filter
    }
}
