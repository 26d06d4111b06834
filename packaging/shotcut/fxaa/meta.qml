// Shotcut lists the frei0r filter fxaa.so by this file; ui.qml holds its controls.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr("FXAA")
    keywords: qsTr('anti-aliasing jaggies edges gpu opengl', 'search keywords for the FXAA video filter') + ' fxaa'
    objectName: 'fxaa'
    mlt_service: 'frei0r.fxaa'
    qml: 'ui.qml'
}
